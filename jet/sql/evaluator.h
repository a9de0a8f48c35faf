// The expression evaluator: an expression of a statement bound to one table and evaluated per
// row under the Access expression rules (VBA Variant arithmetic, three-valued logic), and the
// rules for storing a value into a column. UPDATE runs `bind` once per assignment and WHERE, then
// `evaluate`, `isTrue` and `convertForColumn` per row; SELECT uses the same binding.
//
// Errors are jet::Error:
// - at binding: FieldNotFound for a field the table does not have; SyntaxError for an unknown
//   function, a wrong number of arguments, an aggregate where none may be, or a bad #date#;
// - at evaluation: TypeMismatch, Overflow, DivisionByZero, quoting the expression at fault and
//   the value that caused it, so a failing UPDATE says which part of it failed and why.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/value.h"
#include "jet/database.h"
#include "jet/sql/ast.h"
#include "jet/values/conversion.h"

namespace jet::sql {

using namespace values;  // the value rules are the statements' own vocabulary

class ExpressionNode;

// An expression bound to one table: column references resolved to positions in the table's rows.
// Copies share the bound tree; evaluation has no state, so one bound expression may serve rows
// one after another or (read only) from several threads.
class BoundExpression {
public:
    BoundExpression(std::shared_ptr<const ExpressionNode> root, std::optional<ColumnType> type);

    Value evaluate(const std::vector<Value>& row) const;  // row in the table's column order
    // The type its values have, worked out from the column types without reading a row (e.g.
    // Currency for [Price] * 2, Double for [Price] * 1.5); null when it is always Null.
    std::optional<ColumnType> type() const;
    const std::string& text() const;  // the expression as written in the statement
    // The column it reads when it is nothing but a column reference.
    std::optional<std::size_t> columnIndex() const;

private:
    std::shared_ptr<const ExpressionNode> root_;
    std::optional<ColumnType> type_;
};

// Throws jet::Error(FieldNotFound) naming a missing field; statement = the text, for quoting.
// Aggregate functions (Sum, Count, ...) are refused here: they belong to a SELECT list.
BoundExpression bind(const ast::Expr& expr, const TableDef& table, std::string_view statement);

// As bind, for an expression Access keeps itself (a validation rule) rather than one the wizard
// sends through the provider: its Like takes Access's wildcards, "*", "?" and "#" (like.h).
BoundExpression bindWithAccessWildcards(const ast::Expr& expr, const TableDef& table,
                                        std::string_view text);

// WHERE: Null and False are not true; text must be True/False/numeric.
bool isTrue(const Value& v);

// Marks in `reads` (one flag per column, in the table's order) the columns `e` names. Names the
// table lacks are left to binding to report.
void markColumnsRead(const ast::Expr& e, const TableDef& table, std::vector<bool>& reads);

}  // namespace jet::sql
