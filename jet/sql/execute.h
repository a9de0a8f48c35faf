// Running SQL text against a database. The text is lexed and parsed as it is; nothing rewrites it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"

namespace jet::sql {

struct ResultColumn {
    std::string name;
    ColumnType type = ColumnType::Long;
};

// Rows of a SELECT, streamed.
class ResultSet {
public:
    virtual ~ResultSet() = default;
    virtual const std::vector<ResultColumn>& columns() const = 0;
    virtual bool next() = 0;                          // false at the end
    virtual const std::vector<Value>& row() const = 0;  // values in columns() order
};

// Runs one statement. A SELECT gives a result set; statements that return no rows give null.
// Throws jet::Error: SyntaxError for text it cannot parse, TableNotFound / FieldNotFound naming
// the table or field.
std::unique_ptr<ResultSet> execute(const Database& db, std::string_view statement);

}  // namespace jet::sql
