#include "jet/sql/csv_import.h"

#include <optional>
#include <string_view>
#include <vector>

#include "jet/base/error.h"
#include "jet/sql/insert.h"
#include "jet/sql/text_file_reader.h"

namespace jet::sql {
namespace {

struct Field {
    std::string text;
    bool quoted = false;
};

// Reads one record at a time; `line` is the line the record starts on.
class CsvReader {
public:
    CsvReader(const std::string& path, const std::string& encoding)
        : path_(path), encoding_(encoding), text_(path, encoding) {
        // A byte order mark, not the start of the first field's name.
        if (peek() != EOF && std::string_view(next_, end_).starts_with("\xEF\xBB\xBF")) next_ += 3;
    }

    // False at the end of the file.
    bool next(std::vector<Field>& record) {
        record.clear();
        if (peek() == EOF) return false;
        start_ = line_;
        Field field;
        bool quotedNow = false;
        for (;;) {
            const int c = get();
            if (quotedNow) {
                if (c == EOF) fail(start_, "a quoted field is not closed");
                if (c == '"') {
                    if (peek() == '"') {
                        get();
                        field.text += '"';
                    } else {
                        quotedNow = false;
                    }
                    continue;
                }
                if (c == '\n') ++line_;
                field.text += static_cast<char>(c);
                appendUntil(field.text, [](char x) { return x == '"' || x == '\n'; });
                continue;
            }
            if (c == '"' && field.text.empty() && !field.quoted) {
                field.quoted = quotedNow = true;
                continue;
            }
            if (c == ',' || c == '\n' || c == EOF || (c == '\r' && peek() == '\n')) {
                if (c == '\r') get();
                record.push_back(std::move(field));
                field = Field{};
                if (c == ',') continue;
                if (c != EOF) ++line_;
                return true;
            }
            if (field.quoted) fail(start_, "a quoted field goes on after its closing quote");
            field.text += static_cast<char>(c);
            appendUntil(field.text, [](char x) { return x == ',' || x == '\n' || x == '\r'; });
        }
    }

    std::size_t line() const { return start_; }

    [[noreturn]] void fail(std::size_t line, const std::string& what) const {
        throw Error(ErrorCode::SyntaxError,
                    "Line " + std::to_string(line) + " of '" + path_ + "': " + what + ".");
    }

private:
    // Character by character from a buffer of our own: a stream's get() costs more than
    // everything else done with the character.
    int peek() {
        if (next_ == end_ && !refill()) return EOF;
        return static_cast<unsigned char>(*next_);
    }
    int get() {
        if (next_ == end_ && !refill()) return EOF;
        return static_cast<unsigned char>(*next_++);
    }
    // Takes the plain characters that follow, up to the first that `special` picks out or
    // the end of what the buffer holds, in one step.
    template <typename Special>
    void appendUntil(std::string& text, Special special) {
        const char* stop = next_;
        while (stop != end_ && !special(*stop)) ++stop;
        text.append(next_, stop);
        next_ = stop;
    }
    bool refill() {
        const std::string_view piece = text_.read();
        if (piece.empty() && !text_.fault().empty()) {
            // Every character before the bad one has been read: line_ is its line.
            std::string why = text_.fault();
            if (encoding_.empty()) why += "; name the file's encoding if it is another";
            fail(line_, why);
        }
        next_ = piece.data();
        end_ = next_ + piece.size();
        return next_ != end_;
    }

    std::string path_;
    std::string encoding_;
    TextFileReader text_;
    const char* next_ = nullptr;
    const char* end_ = nullptr;
    std::size_t line_ = 1;
    std::size_t start_ = 1;
};

}  // namespace

std::uint64_t importCsv(Database& db, const std::string& table, const std::string& csvPath,
                        const std::string& encoding) {
    db.catchUp();
    CsvReader csv(csvPath, encoding);
    std::vector<Field> record;
    if (!csv.next(record)) csv.fail(1, "the file is empty; its first line must name the fields");
    std::vector<std::string> names;
    names.reserve(record.size());
    for (auto& f : record) names.push_back(f.text);
    RowInserter inserter(db, db.table(table), names, "CSV file's first line");
    std::vector<bool> text;
    for (const ColumnDef* c : inserter.fields()) {
        text.push_back(c->type == ColumnType::Text || c->type == ColumnType::Memo);
    }

    std::uint64_t added = 0;
    db.write([&](store::WriteContext& ctx) {
        inserter.begin(ctx, true);
        std::vector<Value> values(names.size());
        while (csv.next(record)) {
            // A blank last line ends the file.
            if (record.size() == 1 && record[0].text.empty() && !record[0].quoted) continue;
            if (record.size() != names.size()) {
                csv.fail(csv.line(), "it has " + std::to_string(record.size()) +
                                         " fields, the first line names " +
                                         std::to_string(names.size()));
            }
            for (std::size_t i = 0; i < record.size(); ++i) {
                if (record[i].text.empty() && !(record[i].quoted && text[i])) {
                    values[i] = Value{};
                } else {
                    values[i] = std::move(record[i].text);
                }
            }
            try {
                inserter.add(values);
            } catch (const Error& e) {
                throw Error(e.code(), "Line " + std::to_string(csv.line()) + " of '" + csvPath +
                                          "': " + e.what());
            }
        }
        added = inserter.finish(ctx);
    });
    return added;
}

}  // namespace jet::sql
