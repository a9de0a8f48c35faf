// What a data grid binds to: the columns and rows of an open recordset, as the database held
// them when the recordset was opened, read forward on demand so that a large table costs
// nothing until its rows are shown.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "jet/base/value.h"

namespace db {

struct DataColumn {
    std::string name;
    jet::ColumnType type = jet::ColumnType::Long;
};

class DataSource {
public:
    virtual ~DataSource() = default;
    virtual const std::vector<DataColumn>& columns() const = 0;
    // Appends up to `count` further rows to `rows` and returns how many it appended; 0 at the
    // end. Throws app::Failure when the rows cannot be read.
    virtual std::size_t fetch(std::size_t count, std::vector<std::vector<jet::Value>>& rows) = 0;
    virtual bool atEnd() const = 0;
};

}  // namespace db
