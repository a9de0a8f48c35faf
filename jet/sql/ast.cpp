#include "jet/sql/ast.h"

namespace jet::sql::ast {

const char* statementKind(const Statement& statement) {
    struct Kind {
        const char* operator()(const Select&) const { return "SELECT"; }
        const char* operator()(const Update&) const { return "UPDATE"; }
        const char* operator()(const AlterTable&) const { return "ALTER TABLE"; }
        const char* operator()(const Delete&) const { return "DELETE"; }
        const char* operator()(const Insert&) const { return "INSERT"; }
        const char* operator()(const CreateTable&) const { return "CREATE TABLE"; }
        const char* operator()(const CreateIndex&) const { return "CREATE INDEX"; }
        const char* operator()(const DropTable&) const { return "DROP TABLE"; }
        const char* operator()(const DropIndex&) const { return "DROP INDEX"; }
    };
    return std::visit(Kind{}, statement);
}

}  // namespace jet::sql::ast
