// The nodes of a bound expression: one class per kind of operation, each evaluating its
// children and applying a value rule (arithmetic, value_rules, functions), with the faults of the
// rules reported against the node's own text so that errors quote the innermost expression.
#include <optional>
#include <utility>

#include "jet/base/error.h"
#include "jet/sql/expression_node.h"
#include "jet/values/arithmetic.h"
#include "jet/values/functions.h"
#include "jet/values/like.h"
#include "jet/values/value_rules.h"

namespace jet::sql {

namespace {

using Row = std::vector<Value>;

// Runs a value rule, reporting its fault against this node's text.
template <typename F>
Value guarded(const ExpressionNode& node, F&& f) {
    try {
        return f();
    } catch (const ValueFault& fault) {
        throwExpressionError(fault.code, fault.detail, node.text());
    }
}

class ConstantNode final : public ExpressionNode {
public:
    ConstantNode(std::string text, Value v)
        : ExpressionNode(std::move(text)), value_(std::move(v)) {}
    Value evaluate(const Row&) const override { return value_; }

private:
    Value value_;
};

class ColumnNode final : public ExpressionNode {
public:
    ColumnNode(std::string text, std::size_t index)
        : ExpressionNode(std::move(text)), index_(index) {}
    Value evaluate(const Row& row) const override { return row.at(index_); }
    std::optional<std::size_t> columnIndex() const override { return index_; }

private:
    std::size_t index_;
};

class UnaryNode final : public ExpressionNode {
public:
    UnaryNode(std::string text, ast::UnaryOp op, NodePtr operand)
        : ExpressionNode(std::move(text)), op_(op), operand_(std::move(operand)) {}

    Value evaluate(const Row& row) const override {
        Value v = operand_->evaluate(row);
        switch (op_) {
            case ast::UnaryOp::Identity:
                return v;
            case ast::UnaryOp::Negate:
                return guarded(*this, [&] { return negate(v); });
            case ast::UnaryOp::Not:
                if (isNull(v)) return Null{};
                return guarded(*this, [&] { return Value{!toBoolean(v)}; });
        }
        return Null{};
    }

private:
    ast::UnaryOp op_;
    NodePtr operand_;
};

using BinaryRule = Value (*)(const Value&, const Value&);

class BinaryNode final : public ExpressionNode {
public:
    BinaryNode(std::string text, BinaryRule rule, NodePtr left, NodePtr right)
        : ExpressionNode(std::move(text)),
          rule_(rule),
          left_(std::move(left)),
          right_(std::move(right)) {}

    Value evaluate(const Row& row) const override {
        const Value a = left_->evaluate(row);
        const Value b = right_->evaluate(row);
        return guarded(*this, [&] { return rule_(a, b); });
    }

private:
    BinaryRule rule_;
    NodePtr left_;
    NodePtr right_;
};

Value equalRule(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    return compareValues(a, b) == 0;
}
Value notEqualRule(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    return compareValues(a, b) != 0;
}
Value lessRule(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    return compareValues(a, b) < 0;
}
Value lessEqualRule(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    return compareValues(a, b) <= 0;
}
Value greaterRule(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    return compareValues(a, b) > 0;
}
Value greaterEqualRule(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    return compareValues(a, b) >= 0;
}

// Three-valued logic: Null is "unknown". Xor and Eqv are unknown when either side is; Imp is
// known when the left is False or the right is True.
Value xorRule(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    return toBoolean(a) != toBoolean(b);
}
Value eqvRule(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    return toBoolean(a) == toBoolean(b);
}
Value impRule(const Value& a, const Value& b) {
    const std::optional<bool> x = isNull(a) ? std::nullopt : std::optional<bool>(toBoolean(a));
    const std::optional<bool> y = isNull(b) ? std::nullopt : std::optional<bool>(toBoolean(b));
    if ((x && !*x) || (y && *y)) return true;
    if (x && y) return false;  // True Imp False
    return Null{};
}

// And and Or skip the right side once the left decides, so that a guard such as
// "[Qty] <> 0 And [Price] / [Qty] > 1" never divides by zero.
class LogicNode final : public ExpressionNode {
public:
    LogicNode(std::string text, bool isAnd, NodePtr left, NodePtr right)
        : ExpressionNode(std::move(text)),
          isAnd_(isAnd),
          left_(std::move(left)),
          right_(std::move(right)) {}

    Value evaluate(const Row& row) const override {
        const std::optional<bool> a = truth(left_->evaluate(row));
        if (a && *a != isAnd_) return *a;  // False And .., True Or ..
        const std::optional<bool> b = truth(right_->evaluate(row));
        if (b && *b != isAnd_) return *b;
        if (!a || !b) return Null{};
        return isAnd_;
    }

private:
    std::optional<bool> truth(const Value& v) const {
        if (isNull(v)) return std::nullopt;
        return std::get<bool>(guarded(*this, [&] { return Value{toBoolean(v)}; }));
    }

    bool isAnd_;
    NodePtr left_;
    NodePtr right_;
};

class LikeNode final : public ExpressionNode {
public:
    LikeNode(std::string text, NodePtr operand, NodePtr pattern, std::optional<LikePattern> fixed,
             LikeWildcards wildcards)
        : ExpressionNode(std::move(text)),
          operand_(std::move(operand)),
          pattern_(std::move(pattern)),
          fixed_(std::move(fixed)),
          wildcards_(wildcards) {}

    Value evaluate(const Row& row) const override {
        const Value v = operand_->evaluate(row);
        const Value p = pattern_->evaluate(row);
        if (isNull(v) || isNull(p)) return Null{};
        return guarded(*this, [&] {
            const std::string text = textOf(v);
            return Value{fixed_ ? fixed_->matches(text)
                                : LikePattern(textOf(p), wildcards_).matches(text)};
        });
    }

private:
    NodePtr operand_;
    NodePtr pattern_;
    std::optional<LikePattern> fixed_;  // the pattern read once when it is a constant
    LikeWildcards wildcards_;
};

class IsNullNode final : public ExpressionNode {
public:
    IsNullNode(std::string text, NodePtr operand)
        : ExpressionNode(std::move(text)), operand_(std::move(operand)) {}
    Value evaluate(const Row& row) const override { return isNull(operand_->evaluate(row)); }

private:
    NodePtr operand_;
};

// Bounds given high to low are taken low to high, as Access does.
class BetweenNode final : public ExpressionNode {
public:
    BetweenNode(std::string text, NodePtr operand, NodePtr low, NodePtr high)
        : ExpressionNode(std::move(text)),
          operand_(std::move(operand)),
          low_(std::move(low)),
          high_(std::move(high)) {}

    Value evaluate(const Row& row) const override {
        const Value v = operand_->evaluate(row);
        Value low = low_->evaluate(row);
        Value high = high_->evaluate(row);
        if (isNull(v)) return Null{};
        return guarded(*this, [&]() -> Value {
            if (!isNull(low) && !isNull(high) && compareValues(low, high) > 0) std::swap(low, high);
            const std::optional<bool> aboveLow =
                isNull(low) ? std::nullopt : std::optional<bool>(compareValues(v, low) >= 0);
            const std::optional<bool> belowHigh =
                isNull(high) ? std::nullopt : std::optional<bool>(compareValues(v, high) <= 0);
            if ((aboveLow && !*aboveLow) || (belowHigh && !*belowHigh)) return false;
            if (!aboveLow || !belowHigh) return Null{};
            return true;
        });
    }

private:
    NodePtr operand_;
    NodePtr low_;
    NodePtr high_;
};

class InNode final : public ExpressionNode {
public:
    InNode(std::string text, NodePtr operand, std::vector<NodePtr> items)
        : ExpressionNode(std::move(text)), operand_(std::move(operand)), items_(std::move(items)) {}

    Value evaluate(const Row& row) const override {
        const Value v = operand_->evaluate(row);
        if (isNull(v)) return Null{};
        bool sawNull = false;
        for (const NodePtr& item : items_) {
            const Value candidate = item->evaluate(row);
            if (isNull(candidate)) {
                sawNull = true;
                continue;
            }
            const bool equal = std::get<bool>(
                guarded(*this, [&] { return Value{compareValues(v, candidate) == 0}; }));
            if (equal) return true;
        }
        return sawNull ? Value{Null{}} : Value{false};
    }

private:
    NodePtr operand_;
    std::vector<NodePtr> items_;
};

class FunctionNode final : public ExpressionNode {
public:
    FunctionNode(std::string text, const FunctionDef& def, std::vector<NodePtr> arguments)
        : ExpressionNode(std::move(text)), def_(def), arguments_(std::move(arguments)) {}

    Value evaluate(const Row& row) const override {
        std::vector<Value> values;
        values.reserve(arguments_.size());
        for (const NodePtr& a : arguments_) values.push_back(a->evaluate(row));
        return guarded(*this, [&] { return def_.call(values); });
    }

private:
    const FunctionDef& def_;
    std::vector<NodePtr> arguments_;
};

// IIf evaluates only the branch it returns: IIf([Qty] = 0, 0, [Price] / [Qty]) is safe.
class IIfNode final : public ExpressionNode {
public:
    IIfNode(std::string text, NodePtr condition, NodePtr whenTrue, NodePtr whenFalse)
        : ExpressionNode(std::move(text)),
          condition_(std::move(condition)),
          whenTrue_(std::move(whenTrue)),
          whenFalse_(std::move(whenFalse)) {}

    Value evaluate(const Row& row) const override {
        const Value c = condition_->evaluate(row);
        const bool chosen =
            !isNull(c) && std::get<bool>(guarded(*this, [&] { return Value{toBoolean(c)}; }));
        return (chosen ? whenTrue_ : whenFalse_)->evaluate(row);
    }

private:
    NodePtr condition_;
    NodePtr whenTrue_;
    NodePtr whenFalse_;
};

// Nz(x[, instead]): x unless it is Null. Without `instead`, Null becomes "" for a text
// expression and 0 otherwise (VBA's Empty in the context the expression's type gives).
class NzNode final : public ExpressionNode {
public:
    NzNode(std::string text, NodePtr value, NodePtr instead, Value empty)
        : ExpressionNode(std::move(text)),
          value_(std::move(value)),
          instead_(std::move(instead)),
          empty_(std::move(empty)) {}

    Value evaluate(const Row& row) const override {
        Value v = value_->evaluate(row);
        if (!isNull(v)) return v;
        return instead_ ? instead_->evaluate(row) : empty_;
    }

private:
    NodePtr value_;
    NodePtr instead_;
    Value empty_;
};

class AggregateResultNode final : public ExpressionNode {
public:
    AggregateResultNode(std::string text, std::shared_ptr<Value> result)
        : ExpressionNode(std::move(text)), result_(std::move(result)) {}
    Value evaluate(const Row&) const override { return *result_; }

private:
    std::shared_ptr<Value> result_;
};

BinaryRule binaryRule(ast::BinaryOp op) {
    using Op = ast::BinaryOp;
    switch (op) {
        case Op::Power:
            return power;
        case Op::Multiply:
            return multiply;
        case Op::Divide:
            return divide;
        case Op::IntegerDivide:
            return integerDivide;
        case Op::Mod:
            return modulo;
        case Op::Add:
            return add;
        case Op::Subtract:
            return subtract;
        case Op::Concatenate:
            return concatenate;
        case Op::Equal:
            return equalRule;
        case Op::NotEqual:
            return notEqualRule;
        case Op::Less:
            return lessRule;
        case Op::LessEqual:
            return lessEqualRule;
        case Op::Greater:
            return greaterRule;
        case Op::GreaterEqual:
            return greaterEqualRule;
        case Op::Xor:
            return xorRule;
        case Op::Eqv:
            return eqvRule;
        case Op::Imp:
            return impRule;
        case Op::Like:
        case Op::And:
        case Op::Or:
            break;
    }
    return nullptr;
}

const char* faultTitle(ErrorCode code) {
    switch (code) {
        case ErrorCode::Overflow:
            return "Overflow";
        case ErrorCode::DivisionByZero:
            return "Division by zero";
        case ErrorCode::TypeMismatch:
            return "Type mismatch";
        default:
            return "Error";
    }
}

}  // namespace

void throwExpressionError(ErrorCode code, const std::string& detail, const std::string& text) {
    std::string message = std::string(faultTitle(code)) + " in '" + text + "'";
    if (!detail.empty() && detail != "division by zero") message += ": " + detail;
    throw Error(code, message + ".");
}

NodePtr constantNode(std::string text, Value value) {
    return std::make_shared<ConstantNode>(std::move(text), std::move(value));
}

NodePtr columnNode(std::string text, std::size_t index) {
    return std::make_shared<ColumnNode>(std::move(text), index);
}

NodePtr unaryNode(std::string text, ast::UnaryOp op, NodePtr operand) {
    return std::make_shared<UnaryNode>(std::move(text), op, std::move(operand));
}

NodePtr binaryNode(std::string text, ast::BinaryOp op, NodePtr left, NodePtr right,
                   const Value* constantRight, LikeWildcards wildcards) {
    if (op == ast::BinaryOp::And || op == ast::BinaryOp::Or) {
        return std::make_shared<LogicNode>(std::move(text), op == ast::BinaryOp::And,
                                           std::move(left), std::move(right));
    }
    if (op == ast::BinaryOp::Like) {
        std::optional<LikePattern> fixed;
        const auto* pattern = constantRight ? std::get_if<std::string>(constantRight) : nullptr;
        if (pattern) {
            try {
                fixed.emplace(*pattern, wildcards);
            } catch (const ValueFault& fault) {
                throwExpressionError(fault.code, fault.detail, text);
            }
        }
        return std::make_shared<LikeNode>(std::move(text), std::move(left), std::move(right),
                                          std::move(fixed), wildcards);
    }
    return std::make_shared<BinaryNode>(std::move(text), binaryRule(op), std::move(left),
                                        std::move(right));
}

NodePtr isNullNode(std::string text, NodePtr operand) {
    return std::make_shared<IsNullNode>(std::move(text), std::move(operand));
}

NodePtr betweenNode(std::string text, NodePtr operand, NodePtr low, NodePtr high) {
    return std::make_shared<BetweenNode>(std::move(text), std::move(operand), std::move(low),
                                         std::move(high));
}

NodePtr inNode(std::string text, NodePtr operand, std::vector<NodePtr> items) {
    return std::make_shared<InNode>(std::move(text), std::move(operand), std::move(items));
}

NodePtr functionNode(std::string text, const FunctionDef& def, std::vector<NodePtr> arguments) {
    return std::make_shared<FunctionNode>(std::move(text), def, std::move(arguments));
}

NodePtr iifNode(std::string text, NodePtr condition, NodePtr whenTrue, NodePtr whenFalse) {
    return std::make_shared<IIfNode>(std::move(text), std::move(condition), std::move(whenTrue),
                                     std::move(whenFalse));
}

NodePtr nzNode(std::string text, NodePtr value, NodePtr instead, Value empty) {
    return std::make_shared<NzNode>(std::move(text), std::move(value), std::move(instead),
                                    std::move(empty));
}

NodePtr aggregateResultNode(std::string text, std::shared_ptr<Value> result) {
    return std::make_shared<AggregateResultNode>(std::move(text), std::move(result));
}

}  // namespace jet::sql
