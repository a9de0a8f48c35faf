// Statement dispatch: parse, then hand each kind of statement to its runner.
#include "jet/sql/execute.h"

#include <string>
#include <variant>

#include "jet/error.h"
#include "jet/sql/parser.h"
#include "jet/sql/select.h"

namespace jet::sql {

std::unique_ptr<ResultSet> execute(const Database& db, std::string_view statement) {
    const ast::Statement parsed = parseStatement(statement);
    if (const auto* select = std::get_if<ast::Select>(&parsed)) {
        return runSelect(db, *select, statement);
    }
    throw Error(ErrorCode::Unsupported,
                std::string(ast::statementKind(parsed)) + " statements are not supported yet.");
}

}  // namespace jet::sql
