// Binding turns the syntax tree into a tree of nodes with every name resolved, every function
// looked up and every constant (#dates#, Like patterns) read once; evaluating is then a walk of
// that tree per row (expression_nodes.cpp). This file also holds the public face: bind, the
// bound expression and isTrue.
#include "jet/sql/evaluator.h"

#include <exception>
#include <type_traits>
#include <utility>
#include <variant>

#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/sql/expression_node.h"
#include "jet/values/date_time.h"
#include "jet/values/decimal_math.h"
#include "jet/values/functions.h"
#include "jet/values/value_rules.h"

namespace jet::sql {

namespace {

std::optional<AggregateKind> aggregateKind(std::string_view name) {
    if (namesEqual(name, "Count")) return AggregateKind::Count;
    if (namesEqual(name, "Sum")) return AggregateKind::Sum;
    if (namesEqual(name, "Min")) return AggregateKind::Min;
    if (namesEqual(name, "Max")) return AggregateKind::Max;
    if (namesEqual(name, "Avg")) return AggregateKind::Avg;
    return std::nullopt;
}

class Binder {
public:
    Binder(const TableDef& table, std::string_view statement,
           std::vector<AggregateCall>* aggregates, LikeWildcards wildcards = LikeWildcards::OleDb)
        : table_(table), statement_(statement), aggregates_(aggregates), wildcards_(wildcards) {
        for (const ColumnDef& c : table.columns) sampleRow_.push_back(sampleOf(c));
    }

    NodePtr bind(const ast::Expr& e) {
        // A statement that is not the parsed text leaves the expression unquoted, not a crash.
        const std::string text(e.offset <= statement_.size() ? statement_.substr(e.offset, e.length)
                                                             : std::string_view());
        return std::visit([&](const auto& node) { return bindNode(node, text); }, e.node);
    }

    // The type of a bound node's values, read by evaluating it over one row of samples.
    std::optional<ColumnType> typeOf(const ExpressionNode& node) const {
        try {
            return typeOfValue(node.evaluate(sampleRow_));
        } catch (const std::exception&) {  // a probe: any failure only means "type unknown"
            return std::nullopt;
        }
    }

    std::optional<std::string> columnOutsideAggregate;

private:
    NodePtr bindNode(const ast::Literal& l, const std::string& text) {
        return constantNode(text, l.value);
    }

    NodePtr bindNode(const ast::DateLiteral& d, const std::string& text) {
        const auto serial = parseDateText(d.text);
        if (!serial) {
            throw Error(ErrorCode::SyntaxError,
                        "Syntax error in date in query expression '" + text + "'.");
        }
        return constantNode(text, DateTime{*serial});
    }

    NodePtr bindNode(const ast::ColumnRef& ref, const std::string& text) {
        if (ref.table && !namesEqual(ref.table->text, table_.name)) {
            throw Error(ErrorCode::FieldNotFound, "'" + ref.table->text + "." + ref.column.text +
                                                      "' refers to table '" + ref.table->text +
                                                      "', which is not in the FROM clause.");
        }
        const ColumnDef* column = table_.findColumn(ref.column.text);
        if (column == nullptr) {
            throw Error(ErrorCode::FieldNotFound,
                        "No field named '" + ref.column.text + "' in table '" + table_.name + "'.");
        }
        if (aggregateDepth_ == 0 && !columnOutsideAggregate) columnOutsideAggregate = text;
        return columnNode(text, static_cast<std::size_t>(column - table_.columns.data()));
    }

    NodePtr bindNode(const ast::Unary& u, const std::string& text) {
        return unaryNode(text, u.op, bind(*u.operand));
    }

    NodePtr bindNode(const ast::Binary& b, const std::string& text) {
        NodePtr left = bind(*b.left);
        NodePtr right = bind(*b.right);
        const auto* constant = std::get_if<ast::Literal>(&b.right->node);
        return binaryNode(text, b.op, std::move(left), std::move(right),
                          constant ? &constant->value : nullptr, wildcards_);
    }

    NodePtr bindNode(const ast::IsNull& n, const std::string& text) {
        return isNullNode(text, bind(*n.operand));
    }

    NodePtr bindNode(const ast::Between& b, const std::string& text) {
        NodePtr operand = bind(*b.operand);
        NodePtr low = bind(*b.low);
        return betweenNode(text, std::move(operand), std::move(low), bind(*b.high));
    }

    NodePtr bindNode(const ast::InList& in, const std::string& text) {
        NodePtr operand = bind(*in.operand);
        std::vector<NodePtr> items;
        for (const ast::ExprPtr& item : in.items) items.push_back(bind(*item));
        return inNode(text, std::move(operand), std::move(items));
    }

    NodePtr bindNode(const ast::FunctionCall& f, const std::string& text) {
        const std::string& name = f.name.text;
        if (const auto kind = aggregateKind(name)) return bindAggregate(*kind, f, text);
        if (f.star) wrongArguments(text);
        std::vector<NodePtr> args;
        for (const ast::ExprPtr& a : f.arguments) args.push_back(bind(*a));
        if (namesEqual(name, "IIf")) {
            if (args.size() != 3) wrongArguments(text);
            return iifNode(text, args[0], args[1], args[2]);
        }
        if (namesEqual(name, "Nz")) {
            if (args.empty() || args.size() > 2) wrongArguments(text);
            const bool textual = typeOf(*args[0]) == ColumnType::Text;
            return nzNode(text, args[0], args.size() > 1 ? args[1] : nullptr,
                          textual ? Value{std::string()} : Value{std::int16_t{0}});
        }
        const FunctionDef* def = findFunction(name);
        if (def == nullptr) {
            throw Error(ErrorCode::SyntaxError,
                        "Undefined function '" + name + "' in expression '" + text + "'.");
        }
        if (args.size() < def->minArguments || args.size() > def->maxArguments) {
            wrongArguments(text);
        }
        return functionNode(text, *def, std::move(args));
    }

    NodePtr bindAggregate(AggregateKind kind, const ast::FunctionCall& f, const std::string& text) {
        if (aggregates_ == nullptr) {
            throw Error(ErrorCode::SyntaxError, "Cannot have aggregate function in expression '" +
                                                    text +
                                                    "': aggregates belong in a SELECT list.");
        }
        if (aggregateDepth_ > 0) {
            throw Error(ErrorCode::SyntaxError,
                        "Cannot have aggregate function inside another in '" + text + "'.");
        }
        const bool countAll = kind == AggregateKind::Count && f.star;
        if (!countAll && (f.star || f.arguments.size() != 1)) wrongArguments(text);
        NodePtr argument;
        if (!countAll) {
            ++aggregateDepth_;
            argument = bind(*f.arguments[0]);
            --aggregateDepth_;
        }
        Value argumentSample = std::int32_t{1};
        if (argument) {
            try {
                argumentSample = argument->evaluate(sampleRow_);
            } catch (const std::exception&) {
                argumentSample = Null{};
            }
        }
        auto result = std::make_shared<Value>(aggregateSample(kind, argumentSample));
        aggregates_->push_back(AggregateCall{kind, argument, result, text});
        return aggregateResultNode(text, std::move(result));
    }

    [[noreturn]] static void wrongArguments(const std::string& text) {
        throw Error(
            ErrorCode::SyntaxError,
            "Wrong number of arguments used with function in query expression '" + text + "'.");
    }

    const TableDef& table_;
    std::string_view statement_;
    std::vector<AggregateCall>* aggregates_;
    LikeWildcards wildcards_;
    std::vector<Value> sampleRow_;
    int aggregateDepth_ = 0;
};

}  // namespace

Value sampleOf(const ColumnDef& column) {
    switch (column.type) {
        case ColumnType::YesNo:
            return true;
        case ColumnType::Byte:
            return std::uint8_t{1};
        case ColumnType::Integer:
            return std::int16_t{1};
        case ColumnType::Long:
            return std::int32_t{1};
        case ColumnType::BigInt:
            return std::int64_t{1};
        case ColumnType::Currency:
            return Currency{10000};
        case ColumnType::Single:
            return 1.0f;
        case ColumnType::Double:
            return 1.0;
        case ColumnType::DateTime:
            return DateTime{1};
        case ColumnType::DateTimeExtended:
            return extendedFromDate(DateTime{1});
        case ColumnType::Decimal:
            return decimalFromInteger(1);
        case ColumnType::Text:
        case ColumnType::Memo:
            return std::string("1");
        case ColumnType::Binary:
        case ColumnType::OLE:
            return Bytes{};
        case ColumnType::GUID:
            return Guid{};
        case ColumnType::Complex:
            return ComplexId{1};
    }
    return Null{};
}

BoundExpression::BoundExpression(std::shared_ptr<const ExpressionNode> root,
                                 std::optional<ColumnType> type)
    : root_(std::move(root)), type_(type) {}

Value BoundExpression::evaluate(const std::vector<Value>& row) const {
    return root_->evaluate(row);
}

std::optional<ColumnType> BoundExpression::type() const { return type_; }

const std::string& BoundExpression::text() const { return root_->text(); }

std::optional<std::size_t> BoundExpression::columnIndex() const { return root_->columnIndex(); }

BoundExpression bind(const ast::Expr& expr, const TableDef& table, std::string_view statement) {
    Binder binder(table, statement, nullptr);
    NodePtr root = binder.bind(expr);
    const auto type = binder.typeOf(*root);
    return BoundExpression(std::move(root), type);
}

BoundExpression bindWithAccessWildcards(const ast::Expr& expr, const TableDef& table,
                                        std::string_view text) {
    Binder binder(table, text, nullptr, LikeWildcards::Access);
    NodePtr root = binder.bind(expr);
    const auto type = binder.typeOf(*root);
    return BoundExpression(std::move(root), type);
}

BoundExpression bindWithAggregates(const ast::Expr& expr, const TableDef& table,
                                   std::string_view statement,
                                   std::vector<AggregateCall>& aggregates,
                                   std::optional<std::string>& columnOutsideAggregate) {
    Binder binder(table, statement, &aggregates);
    NodePtr root = binder.bind(expr);
    const auto type = binder.typeOf(*root);
    columnOutsideAggregate = binder.columnOutsideAggregate;
    return BoundExpression(std::move(root), type);
}

bool isTrue(const Value& v) {
    if (isNull(v)) return false;
    try {
        return toBoolean(v);
    } catch (const ValueFault& fault) {
        throw Error(fault.code, "Type mismatch: " + fault.detail + ".");
    }
}

// Marks the columns an expression names. Names the table lacks are left to binding to report.
void markColumnsRead(const ast::Expr& e, const TableDef& table, std::vector<bool>& reads) {
    if (const auto* ref = std::get_if<ast::ColumnRef>(&e.node)) {
        if (const ColumnDef* c = table.findColumn(ref->column.text)) reads[c->order] = true;
    }
    ast::forEachChild(e, [&](const ast::ExprPtr& child) { markColumnsRead(*child, table, reads); });
}

}  // namespace jet::sql
