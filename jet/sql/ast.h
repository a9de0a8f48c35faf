// The syntax tree of Access SQL statements and expressions, as the parser builds it and the
// statement runners read it. The tree keeps names as written (no case folding, no resolution) and
// the place in the statement text of every expression, so that later errors can quote it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "jet/base/value.h"

namespace jet::sql::ast {

// A table, column, alias or function name without its brackets or backquotes.
struct Name {
    std::string text;
    std::size_t offset = 0;  // where the name (its opening delimiter) starts in the statement
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

// Number, string, Null, True and False. Numbers hold a std::int32_t (whole numbers within Long)
// or a double; strings a std::string; True and False a bool; Null a jet::Null.
struct Literal {
    Value value;
};

// #...#: the text between the # signs, as written; reading it as a date is the evaluator's job,
// because the accepted forms depend on Access's date rules rather than on syntax.
struct DateLiteral {
    std::string text;
};

// [Price], Price, [Orders].[Price].
struct ColumnRef {
    std::optional<Name> table;
    Name column;
};

// Round([Price], 2). The name is as written; which functions exist is the evaluator's business.
// Count(*) has no arguments and `star` set.
struct FunctionCall {
    Name name;
    std::vector<ExprPtr> arguments;
    bool star = false;
};

enum class UnaryOp : std::uint8_t {
    Negate,    // -x
    Identity,  // +x
    Not,       // NOT x; also the outer node of NOT LIKE, NOT BETWEEN, NOT IN and IS NOT NULL
};

enum class BinaryOp : std::uint8_t {
    Power,          // ^
    Multiply,       // *
    Divide,         // /
    IntegerDivide,  // '\'
    Mod,            // Mod
    Add,            // +
    Subtract,       // -
    Concatenate,    // &
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Like,
    And,
    Or,
    Xor,
    Eqv,
    Imp,
};

struct Unary {
    UnaryOp op;
    ExprPtr operand;
};

struct Binary {
    BinaryOp op;
    ExprPtr left;
    ExprPtr right;
};

// x IS NULL (IS NOT NULL is Not over this).
struct IsNull {
    ExprPtr operand;
};

// x BETWEEN low AND high.
struct Between {
    ExprPtr operand;
    ExprPtr low;
    ExprPtr high;
};

// x IN (a, b, ...).
struct InList {
    ExprPtr operand;
    std::vector<ExprPtr> items;
};

struct Expr {
    std::variant<Literal, DateLiteral, ColumnRef, FunctionCall, Unary, Binary, IsNull, Between,
                 InList>
        node;
    // The expression's text in the statement, parentheses around it excluded.
    std::size_t offset = 0;
    std::size_t length = 0;
};

// Calls `visit` with each direct sub-expression of `e` (an ExprPtr, const as `e` is), in the
// order they are written; the one walk of the tree's shape that every pass over it shares.
template <typename E, typename Visit>
void forEachChild(E& e, Visit&& visit) {
    const auto child = [&](auto& p) {
        if (p) visit(p);
    };
    std::visit(
        [&](auto& n) {
            using Node = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<Node, FunctionCall>) {
                for (auto& a : n.arguments) child(a);
            } else if constexpr (std::is_same_v<Node, Unary> || std::is_same_v<Node, IsNull>) {
                child(n.operand);
            } else if constexpr (std::is_same_v<Node, Binary>) {
                child(n.left);
                child(n.right);
            } else if constexpr (std::is_same_v<Node, Between>) {
                child(n.operand);
                child(n.low);
                child(n.high);
            } else if constexpr (std::is_same_v<Node, InList>) {
                child(n.operand);
                for (auto& item : n.items) child(item);
            }
        },
        e.node);
}

// `*` or `Orders.*`: every column of the table, in the table's order.
struct AllColumns {
    std::optional<Name> table;
    std::size_t offset = 0;
};

// One expression of a select list, with its alias when it has one (expr AS alias).
struct SelectExpr {
    ExprPtr expr;
    std::optional<Name> alias;
};

using SelectItem = std::variant<AllColumns, SelectExpr>;

// One key of ORDER BY: an expression, a select-list alias or a 1-based select-list position.
struct OrderKey {
    ExprPtr expr;
    bool descending = false;
};

// SELECT items FROM table [WHERE condition] [ORDER BY key [ASC|DESC], ...]
struct Select {
    std::vector<SelectItem> items;
    Name from;
    ExprPtr where;  // null when the statement has no WHERE clause
    std::vector<OrderKey> orderBy;
};

// One "column = value" of an UPDATE's SET list.
struct Assignment {
    ColumnRef column;
    ExprPtr value;
};

// UPDATE table SET c = v, ... [WHERE condition]
struct Update {
    Name table;
    std::vector<Assignment> assignments;
    ExprPtr where;  // null when the statement has no WHERE clause
};

// DELETE [*] FROM table [WHERE condition]; also DELETE table.* FROM table.
struct Delete {
    Name table;
    ExprPtr where;  // null when the statement has no WHERE clause: every row goes
};

// A column type as written in DDL: INT, TEXT(50), DECIMAL(18, 4). The name is kept as written;
// which names exist and which column type each means is decided where the DDL is run.
struct DataType {
    Name name;
    std::vector<std::int32_t> parameters;
};

// ALTER TABLE t ADD [COLUMN] c type [NOT NULL] [DEFAULT literal]
struct AddColumn {
    Name column;
    DataType type;
    bool notNull = false;
    std::string defaultValue;  // as Access keeps it ("abc" in double quotes, 5, #2024-01-31#)
};

// ALTER TABLE t DROP [COLUMN] c
struct DropColumn {
    Name column;
};

struct AlterTable {
    Name table;
    std::variant<AddColumn, DropColumn> action;
};

// INSERT INTO table [(c, ...)] VALUES (v, ...), or INSERT INTO table [(c, ...)] SELECT ...
struct Insert {
    Name table;
    std::vector<Name> columns;    // empty: every field, in the table's order
    std::vector<ExprPtr> values;  // VALUES; empty when the rows come from `select`
    std::unique_ptr<Select> select;
};

// A field of CREATE TABLE: name type [NOT NULL] [DEFAULT literal] [PRIMARY KEY | UNIQUE]
struct FieldDefinition {
    Name column;
    DataType type;
    bool notNull = false;
    std::string defaultValue;  // as in AddColumn
    bool primaryKey = false;
    bool unique = false;
};

// [CONSTRAINT name] PRIMARY KEY (c, ...) or [CONSTRAINT name] UNIQUE (c, ...)
struct KeyConstraint {
    Name name;  // empty text when the statement names none
    bool primaryKey = false;
    std::vector<Name> columns;
};

// CREATE TABLE t (field definitions and constraints, in any order)
struct CreateTable {
    Name table;
    std::vector<FieldDefinition> fields;
    std::vector<KeyConstraint> constraints;
};

struct IndexKey {
    Name column;
    bool ascending = true;
};

// CREATE [UNIQUE] INDEX name ON t (c [ASC|DESC], ...) [WITH PRIMARY | DISALLOW NULL | IGNORE NULL]
struct CreateIndex {
    Name index;
    Name table;
    std::vector<IndexKey> keys;
    bool unique = false;
    bool primary = false;
    bool disallowNull = false;
    bool ignoreNull = false;
};

// DROP TABLE t
struct DropTable {
    Name table;
};

// DROP INDEX name ON t
struct DropIndex {
    Name index;
    Name table;
};

using Statement = std::variant<Select, Update, AlterTable, Delete, Insert, CreateTable, CreateIndex,
                               DropTable, DropIndex>;

// "SELECT", "UPDATE", "ALTER TABLE", "DELETE", "INSERT", "CREATE TABLE", ...: the kind of
// statement, as messages name it.
const char* statementKind(const Statement& statement);

}  // namespace jet::sql::ast
