// INSERT INTO: new rows for one table, from VALUES or a SELECT, as one atomic write. Fields the
// statement leaves out get their default value, AutoNumbers the table's next numbers (a given
// number larger than any before moves the counter on), calculated fields their result; keys,
// indexes and relationships are checked as for UPDATE.
#pragma once

#include <cstdint>
#include <string_view>

#include "jet/database.h"
#include "jet/sql/ast.h"

namespace jet::sql {

// Returns the number of rows added.
std::uint64_t runInsert(Database& db, const ast::Insert& insert, std::string_view statement);

}  // namespace jet::sql
