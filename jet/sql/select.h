// Running a SELECT: the names of the statement are resolved against the table's definition
// before any row is read, so a misspelt field fails at once, and the rows are then streamed
// from the table one at a time with the chosen columns.
#pragma once

#include <memory>
#include <string_view>

#include "jet/database.h"
#include "jet/sql/ast.h"
#include "jet/sql/execute.h"

namespace jet::sql {

// statement is the text select was parsed from, for quoting in errors. The result set reads
// from db and must not outlive it.
std::unique_ptr<ResultSet> runSelect(const Database& db, const ast::Select& select,
                                     std::string_view statement);

}  // namespace jet::sql
