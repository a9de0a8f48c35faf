// A recordset's rows, read forward through its view one row ahead, so that the end is known
// before it is reached. The recordset walks them; a grid reads them as a DataSource, and keeps
// them (and the database they come from) alive for as long as it holds them.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "db/data_source.h"
#include "db/read_view.h"
#include "jet/sql/execute.h"

namespace db {

using Row = std::vector<jet::Value>;

// Opens the rows from the start; called inside the view.
using RowsOpener = std::function<std::unique_ptr<jet::sql::ResultSet>(const jet::Database&)>;

// Rows held in memory (a schema rowset), served from the start each time.
RowsOpener rowsInMemory(std::vector<jet::sql::ResultColumn> columns, std::vector<Row> rows);

class RowStream final : public DataSource {
public:
    // Opens the rows and reads the first one.
    RowStream(ReadView view, const RowsOpener& open);

    const std::vector<DataColumn>& columns() const override { return columns_; }
    std::size_t fetch(std::size_t count, std::vector<Row>& rows) override;
    bool atEnd() const override { return atEnd_; }

    // The row the stream stands on; only when not at the end.
    const Row& current() const { return rows_->row(); }
    void advance();

private:
    void read(const std::function<void()>& work);

    ReadView view_;  // before rows_, which read through the database it holds
    std::unique_ptr<jet::sql::ResultSet> rows_;
    std::vector<DataColumn> columns_;
    bool atEnd_ = false;
};

}  // namespace db
