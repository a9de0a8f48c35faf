// CREATE TABLE, DROP TABLE, CREATE INDEX and DROP INDEX: tables and their indexes made and
// taken away, with the catalog rows (MSysObjects, MSysACEs) Access keeps for each table. Each
// statement is one atomic write.
#pragma once

#include <string_view>

#include "jet/database.h"
#include "jet/sql/ast.h"

namespace jet::sql {

void runCreateTable(Database& db, const ast::CreateTable& create, std::string_view statement);
void runDropTable(Database& db, const ast::DropTable& drop, std::string_view statement);
void runCreateIndex(Database& db, const ast::CreateIndex& create, std::string_view statement);
void runDropIndex(Database& db, const ast::DropIndex& drop, std::string_view statement);

}  // namespace jet::sql
