#include "db/row_stream.h"

#include <utility>

namespace db {
namespace {

struct HeldRows {
    std::vector<jet::sql::ResultColumn> columns;
    std::vector<Row> rows;
};

class HeldRowsResult final : public jet::sql::ResultSet {
public:
    explicit HeldRowsResult(std::shared_ptr<const HeldRows> held) : held_(std::move(held)) {}
    const std::vector<jet::sql::ResultColumn>& columns() const override { return held_->columns; }
    bool next() override { return ++position_ < held_->rows.size(); }
    const Row& row() const override { return held_->rows[position_]; }

private:
    std::shared_ptr<const HeldRows> held_;
    std::size_t position_ = static_cast<std::size_t>(-1);
};

}  // namespace

RowsOpener rowsInMemory(std::vector<jet::sql::ResultColumn> columns, std::vector<Row> rows) {
    auto held = std::make_shared<const HeldRows>(HeldRows{std::move(columns), std::move(rows)});
    return [held](const jet::Database&) { return std::make_unique<HeldRowsResult>(held); };
}

RowStream::RowStream(ReadView view, const RowsOpener& open) : view_(std::move(view)) {
    view_([&](const jet::Database& database) {
        rows_ = open(database);
        atEnd_ = !rows_->next();
    });
    for (const auto& c : rows_->columns()) columns_.push_back(DataColumn{c.name, c.type});
}

void RowStream::advance() {
    read([&] { atEnd_ = !rows_->next(); });
}

std::size_t RowStream::fetch(std::size_t count, std::vector<Row>& rows) {
    std::size_t appended = 0;
    read([&] {
        while (appended < count && !atEnd_) {
            rows.push_back(current());
            ++appended;
            atEnd_ = !rows_->next();
        }
    });
    return appended;
}

void RowStream::read(const std::function<void()>& work) {
    // A stream that failed once is at its end: a grid that asks again gets no more rows rather
    // than the same failure over and over.
    try {
        view_([&](const jet::Database&) { work(); });
    } catch (...) {
        atEnd_ = true;
        throw;
    }
}

}  // namespace db
