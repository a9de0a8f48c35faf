// UPDATE and DELETE: the rows of one table changed or removed, as one atomic write.
#pragma once

#include <cstdint>
#include <string_view>

#include "jet/database.h"
#include "jet/sql/ast.h"

namespace jet::sql {

// Both return the number of rows the statement matched.
std::uint64_t runUpdate(Database& db, const ast::Update& update, std::string_view statement);
std::uint64_t runDelete(Database& db, const ast::Delete& del, std::string_view statement);

}  // namespace jet::sql
