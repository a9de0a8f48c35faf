// A compact text form of syntax trees, so that parser tests can state the tree they expect in
// one line: (+ [Price] 5) is Add over a column and the Long 5; 1.5D is a Double literal.
#pragma once

#include <charconv>
#include <string>

#include "jet/sql/ast.h"

namespace sqltest {

inline std::string text(const jet::sql::ast::Expr& e);

inline std::string text(const jet::sql::ast::ColumnRef& c) {
    return (c.table ? "[" + c.table->text + "]." : std::string()) + "[" + c.column.text + "]";
}

inline std::string binaryOpText(jet::sql::ast::BinaryOp op) {
    static const char* const kText[] = {
        "^", "*",  "/", "\\", "Mod",  "+",   "-",  "&",   "=",   "<>",
        "<", "<=", ">", ">=", "Like", "And", "Or", "Xor", "Eqv", "Imp"};
    return kText[static_cast<int>(op)];
}

inline std::string literalText(const jet::Value& v) {
    if (std::holds_alternative<jet::Null>(v)) return "Null";
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
    if (const auto* i = std::get_if<std::int32_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, *d).ptr;
        return std::string(buffer, end) + "D";
    }
    if (const auto* s = std::get_if<std::string>(&v)) return "'" + *s + "'";
    return "<unexpected literal type>";
}

inline std::string text(const jet::sql::ast::Expr& e) {
    namespace ast = jet::sql::ast;
    struct Printer {
        std::string operator()(const ast::Literal& l) const { return literalText(l.value); }
        std::string operator()(const ast::DateLiteral& d) const { return "#" + d.text + "#"; }
        std::string operator()(const ast::ColumnRef& c) const { return text(c); }
        std::string operator()(const ast::FunctionCall& f) const {
            if (f.star) return f.name.text + "(*)";
            std::string out = f.name.text + "(";
            for (std::size_t i = 0; i < f.arguments.size(); ++i) {
                out += (i ? ", " : "") + text(*f.arguments[i]);
            }
            return out + ")";
        }
        std::string operator()(const ast::Unary& u) const {
            const char* op = u.op == ast::UnaryOp::Negate ? "neg"
                             : u.op == ast::UnaryOp::Not  ? "not"
                                                          : "pos";
            return std::string("(") + op + " " + text(*u.operand) + ")";
        }
        std::string operator()(const ast::Binary& b) const {
            return "(" + binaryOpText(b.op) + " " + text(*b.left) + " " + text(*b.right) + ")";
        }
        std::string operator()(const ast::IsNull& n) const {
            return "(isnull " + text(*n.operand) + ")";
        }
        std::string operator()(const ast::Between& b) const {
            return "(between " + text(*b.operand) + " " + text(*b.low) + " " + text(*b.high) + ")";
        }
        std::string operator()(const ast::InList& in) const {
            std::string out = "(in " + text(*in.operand);
            for (const auto& item : in.items) out += " " + text(*item);
            return out + ")";
        }
    };
    return std::visit(Printer{}, e.node);
}

}  // namespace sqltest
