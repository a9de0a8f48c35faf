// The input is SQL text: the lexer and the parser must end every input in a statement or a
// jet::Error, never a crash, a hang or unbounded recursion. Statements that parse are also bound
// against a real table, which walks every expression node.
#include <string_view>

#include "fuzz_support.h"
#include "jet/database.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/parser.h"

namespace {

const jet::TableDef& table() {
    static const auto db = jet::Database::open(fuzzsupport::fixture("jet4/test2000.mdb"));
    static const auto def = db->table("Table1");
    return *def;
}

void bindAll(const jet::sql::ast::Statement& statement, std::string_view text) {
    using namespace jet::sql;
    if (const auto* u = std::get_if<ast::Update>(&statement)) {
        for (const auto& a : u->assignments) {
            const auto bound = jet::sql::bind(*a.value, table(), text);
            (void)bound;
        }
        if (u->where) (void)jet::sql::bind(*u->where, table(), text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::addDefaultFlags(argc, argv, {"-max_len=2048"});
    (void)table();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const auto statement = jet::sql::parseStatement(text);
        bindAll(statement, text);
    } catch (const jet::Error& e) {
        if (std::string_view(e.what()).empty()) __builtin_trap();
    }
    return 0;
}
