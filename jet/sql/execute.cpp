// Statement dispatch: parse, then hand each kind of statement to its runner.
#include "jet/sql/execute.h"

#include <string>
#include <variant>

#include "jet/base/error.h"
#include "jet/sql/alter_table.h"
#include "jet/sql/insert.h"
#include "jet/sql/parser.h"
#include "jet/sql/select.h"
#include "jet/sql/table_ddl.h"
#include "jet/sql/update.h"

namespace jet::sql {

Outcome execute(Database& db, std::string_view statement) {
    const ast::Statement parsed = parseStatement(statement);
    db.catchUp();
    Outcome outcome;
    if (const auto* select = std::get_if<ast::Select>(&parsed)) {
        outcome.rows = runSelect(db, *select, statement);
        return outcome;
    }
    if (const auto* update = std::get_if<ast::Update>(&parsed)) {
        outcome.rowsAffected = runUpdate(db, *update, statement);
        return outcome;
    }
    if (const auto* del = std::get_if<ast::Delete>(&parsed)) {
        outcome.rowsAffected = runDelete(db, *del, statement);
        return outcome;
    }
    if (const auto* insert = std::get_if<ast::Insert>(&parsed)) {
        outcome.rowsAffected = runInsert(db, *insert, statement);
        return outcome;
    }
    if (const auto* alter = std::get_if<ast::AlterTable>(&parsed)) {
        runAlterTable(db, *alter, statement);
        return outcome;
    }
    if (const auto* create = std::get_if<ast::CreateTable>(&parsed)) {
        runCreateTable(db, *create, statement);
    } else if (const auto* drop = std::get_if<ast::DropTable>(&parsed)) {
        runDropTable(db, *drop, statement);
    } else if (const auto* index = std::get_if<ast::CreateIndex>(&parsed)) {
        runCreateIndex(db, *index, statement);
    } else if (const auto* dropIndex = std::get_if<ast::DropIndex>(&parsed)) {
        runDropIndex(db, *dropIndex, statement);
    }
    return outcome;
}

std::unique_ptr<ResultSet> query(const Database& db, std::string_view statement) {
    const ast::Statement parsed = parseStatement(statement);
    db.catchUp();
    if (const auto* select = std::get_if<ast::Select>(&parsed)) {
        return runSelect(db, *select, statement);
    }
    throw Error(ErrorCode::ReadOnly, std::string(ast::statementKind(parsed)) +
                                         " statements change the database; this connection "
                                         "only reads.");
}

}  // namespace jet::sql
