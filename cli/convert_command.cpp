#include "cli/convert_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

#include "cli/convert_writers.h"
#include "cli/value_text.h"
#include "jet/database.h"

namespace cli {
namespace {

using convert::Plan;
using convert::PlannedTable;
using convert::Target;

// The script written to a temporary file beside its name and linked there when whole, as the
// SQLite database is.
class ScriptFile {
public:
    explicit ScriptFile(std::string path) : path_(std::move(path)) {
        temp_ = convert::temporaryBeside(path_);
        stream_.open(temp_, std::ios::binary | std::ios::trunc);
        if (!stream_) {
            convert::discardTemporary(temp_);
            throw jet::Error(jet::ErrorCode::Io, "Could not write '" + temp_ + "'.");
        }
    }
    ~ScriptFile() {
        if (!temp_.empty()) convert::discardTemporary(temp_);
    }
    std::ostream& stream() { return stream_; }
    void publish() {
        stream_.close();
        if (!stream_) throw jet::Error(jet::ErrorCode::Io, "Could not write '" + temp_ + "'.");
        convert::publish(temp_, path_);
        temp_.clear();
    }

private:
    std::string path_;
    std::string temp_;
    std::ofstream stream_;
};

}  // namespace

void runConvert(const ConvertRequest& request, std::ostream& report, std::ostream& script,
                std::ostream& progress, bool progressIsTerminal) {
    const Target target = request.target == "sqlite" ? Target::SQLite : Target::PostgreSQL;
    if (target == Target::SQLite && request.output == "-") {
        throw jet::Error(jet::ErrorCode::Unsupported,
                         "A SQLite database is a file: give its name, not '-'.");
    }
    const auto db = jet::Database::open(request.file, jet::OpenOptions{request.password});
    // Every table as of one moment.
    const auto reading = db->readTransaction();
    const Plan plan = convert::makePlan(*db, target, request.tables);

    std::unique_ptr<ScriptFile> scriptFile;
    std::unique_ptr<convert::Writer> writer;
    if (target == Target::SQLite) {
        writer = convert::sqliteWriter(plan, request.output);
    } else if (request.output == "-") {
        writer = convert::postgresWriter(plan, script);
    } else {
        convert::refuseExisting(request.output);
        scriptFile = std::make_unique<ScriptFile>(request.output);
        writer = convert::postgresWriter(plan, scriptFile->stream());
    }

    std::uint64_t records = 0;
    auto lastShown = std::chrono::steady_clock::now();
    for (const PlannedTable& t : plan.tables) {
        writer->beginTable(t);
        std::int64_t next = t.nextIdentity;
        std::uint64_t done = 0;
        std::vector<std::size_t> required;
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            if (t.columns[i].notNull) required.push_back(i);
        }
        auto cursor = db->scan(t.def);
        while (cursor.next()) {
            const auto& row = cursor.row();
            for (const std::size_t i : required) {
                if (jet::isNull(row[i])) {
                    throw jet::Error(jet::ErrorCode::NullKey,
                                     "Field '" + t.columns[i].source->name + "' of table '" +
                                         t.def->name + "' is required, but record " +
                                         grouped(done + 1) +
                                         " holds no value in it; nothing was written.");
                }
            }
            if (t.identity) {
                if (const auto* n = std::get_if<std::int32_t>(&row[*t.identity])) {
                    next = std::max<std::int64_t>(next, std::int64_t{*n} + 1);
                }
            }
            writer->row(t, row);
            ++done;
            if (progressIsTerminal && (done & 1023) == 0) {
                const auto now = std::chrono::steady_clock::now();
                if (now - lastShown >= std::chrono::milliseconds(200)) {
                    lastShown = now;
                    progress << "\r\033[KTable '" << t.def->name << "': " << grouped(done) << " of "
                             << grouped(t.def->rowCount) << " records" << std::flush;
                }
            }
        }
        writer->endTable(t, next);
        records += done;
    }
    if (progressIsTerminal) progress << "\r\033[KMaking the keys and indexes..." << std::flush;
    writer->finish();
    if (scriptFile) scriptFile->publish();
    if (progressIsTerminal) progress << "\r\033[K" << std::flush;

    std::size_t indexes = 0;
    for (const auto& t : plan.tables) indexes += t.indexes.size();
    report << "Converted '" << request.file << "' to "
           << (target == Target::SQLite ? "the SQLite database '" : "the PostgreSQL script '")
           << (request.output == "-" ? std::string("(standard output)") : request.output)
           << "': " << plan.tables.size() << (plan.tables.size() == 1 ? " table, " : " tables, ")
           << grouped(records) << (records == 1 ? " record, " : " records, ") << indexes
           << (indexes == 1 ? " key or index, " : " keys and indexes, ") << plan.foreignKeys.size()
           << (plan.foreignKeys.size() == 1 ? " foreign key.\n" : " foreign keys.\n");
    for (const auto& note : plan.notes) report << note << '\n';
}

}  // namespace cli
