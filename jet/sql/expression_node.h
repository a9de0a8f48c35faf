// The inside of a bound expression, for the statement runners of this folder: the node tree,
// and binding with aggregate functions allowed (a SELECT list). Callers elsewhere use
// evaluator.h.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/value.h"
#include "jet/database.h"
#include "jet/sql/ast.h"
#include "jet/sql/evaluator.h"
#include "jet/values/functions.h"
#include "jet/values/like.h"

namespace jet::sql {

class ExpressionNode {
public:
    explicit ExpressionNode(std::string text) : text_(std::move(text)) {}
    virtual ~ExpressionNode() = default;
    ExpressionNode(const ExpressionNode&) = delete;
    ExpressionNode& operator=(const ExpressionNode&) = delete;

    virtual Value evaluate(const std::vector<Value>& row) const = 0;
    virtual std::optional<std::size_t> columnIndex() const { return std::nullopt; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

using NodePtr = std::shared_ptr<const ExpressionNode>;

enum class AggregateKind { Count, Sum, Min, Max, Avg };

// One aggregate function of a SELECT list. The select runner feeds `argument` of every row to an
// accumulator and stores the final value in `result`, which the expression tree reads.
struct AggregateCall {
    AggregateKind kind;
    NodePtr argument;  // null for Count(*)
    std::shared_ptr<Value> result;
    std::string text;
};

// The nodes of the tree; `text` is the expression as written, quoted by errors.
NodePtr constantNode(std::string text, Value value);
NodePtr columnNode(std::string text, std::size_t index);
NodePtr unaryNode(std::string text, ast::UnaryOp op, NodePtr operand);
// Any binary operator, And, Or and Like included; a constant Like pattern (`constantRight`) is
// read once instead of per row.
NodePtr binaryNode(std::string text, ast::BinaryOp op, NodePtr left, NodePtr right,
                   const Value* constantRight, LikeWildcards wildcards = LikeWildcards::OleDb);
NodePtr isNullNode(std::string text, NodePtr operand);
NodePtr betweenNode(std::string text, NodePtr operand, NodePtr low, NodePtr high);
NodePtr inNode(std::string text, NodePtr operand, std::vector<NodePtr> items);
NodePtr functionNode(std::string text, const FunctionDef& def, std::vector<NodePtr> arguments);
NodePtr iifNode(std::string text, NodePtr condition, NodePtr whenTrue, NodePtr whenFalse);
NodePtr nzNode(std::string text, NodePtr value, NodePtr instead, Value empty);
NodePtr aggregateResultNode(std::string text, std::shared_ptr<Value> result);

// Binds like bind() in evaluator.h, except that aggregate functions are allowed and appended to
// `aggregates`. `columnOutsideAggregate` receives the text of the first field referenced
// outside any aggregate, so the caller can refuse mixing rows and totals.
BoundExpression bindWithAggregates(const ast::Expr& expr, const TableDef& table,
                                   std::string_view statement,
                                   std::vector<AggregateCall>& aggregates,
                                   std::optional<std::string>& columnOutsideAggregate);

// The type an aggregate's result has, given a value of the type its argument has.
Value aggregateSample(AggregateKind kind, const Value& argumentSample);

// A value of the type `column` holds, for working out the types of expressions over it.
Value sampleOf(const ColumnDef& column);

// Reports a fault of a value rule as the jet::Error of the expression `text`.
[[noreturn]] void throwExpressionError(ErrorCode code, const std::string& detail,
                                       const std::string& text);

}  // namespace jet::sql
