#include "jet/sql/parser.h"

#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/sql/lexer.h"
#include "jet/sql/syntax_error.h"

namespace jet::sql {

namespace {

// Access's operator precedence, lowest first (the VBA order, which Jet follows). Prefix
// operators bind their operand at their own level: NOT a = b is NOT (a = b), -2 ^ 2 is -(2 ^ 2).
enum Precedence : int {
    kImp = 1,
    kEqv,
    kXor,
    kOr,
    kAnd,
    kNot,
    kCompare,  // = <> < <= > >= Like Is Between In
    kConcatenate,
    kAdditive,
    kMod,
    kIntegerDivide,
    kMultiplicative,
    kNegate,
    kPower,
};

struct BinaryOperator {
    ast::BinaryOp op;
    int precedence;
};

std::optional<BinaryOperator> binaryOperator(const Token& t) {
    using Op = ast::BinaryOp;
    switch (t.kind) {
        case TokenKind::Caret:
            return BinaryOperator{Op::Power, kPower};
        case TokenKind::Star:
            return BinaryOperator{Op::Multiply, kMultiplicative};
        case TokenKind::Slash:
            return BinaryOperator{Op::Divide, kMultiplicative};
        case TokenKind::Backslash:
            return BinaryOperator{Op::IntegerDivide, kIntegerDivide};
        case TokenKind::Plus:
            return BinaryOperator{Op::Add, kAdditive};
        case TokenKind::Minus:
            return BinaryOperator{Op::Subtract, kAdditive};
        case TokenKind::Ampersand:
            return BinaryOperator{Op::Concatenate, kConcatenate};
        case TokenKind::Equal:
            return BinaryOperator{Op::Equal, kCompare};
        case TokenKind::NotEqual:
            return BinaryOperator{Op::NotEqual, kCompare};
        case TokenKind::Less:
            return BinaryOperator{Op::Less, kCompare};
        case TokenKind::LessEqual:
            return BinaryOperator{Op::LessEqual, kCompare};
        case TokenKind::Greater:
            return BinaryOperator{Op::Greater, kCompare};
        case TokenKind::GreaterEqual:
            return BinaryOperator{Op::GreaterEqual, kCompare};
        case TokenKind::Keyword:
            switch (t.keyword) {
                case Keyword::Mod:
                    return BinaryOperator{Op::Mod, kMod};
                case Keyword::Like:
                    return BinaryOperator{Op::Like, kCompare};
                case Keyword::And:
                    return BinaryOperator{Op::And, kAnd};
                case Keyword::Or:
                    return BinaryOperator{Op::Or, kOr};
                case Keyword::Xor:
                    return BinaryOperator{Op::Xor, kXor};
                case Keyword::Eqv:
                    return BinaryOperator{Op::Eqv, kEqv};
                case Keyword::Imp:
                    return BinaryOperator{Op::Imp, kImp};
                default:
                    return std::nullopt;
            }
        default:
            return std::nullopt;
    }
}

// The deepest expression tree accepted. Access refuses expressions past its own limits as "too
// complex"; a bound here keeps hostile input from exhausting the stack of the parser, of the
// evaluator walking the tree and of the tree's own destruction. The wizard's longest expression,
// one operator between each of a table's at most 255 fields, stays far below it.
constexpr int kMaxDepth = 1000;

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text), lexer_(text) {}

    ast::Statement statement() {
        const Token& first = peek();
        if (first.is(Keyword::Select)) {
            ast::Select s = select();
            const char* problem =
                !s.orderBy.empty()
                    ? "expected an operator, ',', ASC, DESC or the end of the statement"
                : s.where ? "expected an operator, ORDER BY or the end of the statement"
                          : "expected WHERE, ORDER BY or the end of the statement";
            return finish(std::move(s), problem);
        }
        if (first.is(Keyword::Delete)) {
            ast::Delete d = deleteStatement();
            const char* problem = d.where ? "expected an operator or the end of the statement"
                                          : "expected WHERE or the end of the statement";
            return finish(std::move(d), problem);
        }
        if (first.is(Keyword::Update)) {
            return finish(update(), "expected an operator, ',', WHERE or the end of the statement");
        }
        if (first.is(Keyword::Alter))
            return finish(alterTable(), "expected the end of the statement");
        if (first.is(Keyword::Insert)) return finish(insert(), "expected the end of the statement");
        if (first.is(Keyword::Create)) {
            if (peek(1).is(Keyword::Table)) {
                return finish(createTable(), "expected the end of the statement");
            }
            return finish(createIndex(), "expected WITH or the end of the statement");
        }
        if (first.is(Keyword::Drop)) return finish(drop(), "expected the end of the statement");
        lead_ = "Invalid SQL statement";
        fail("expected ALTER, CREATE, DELETE, DROP, INSERT, SELECT or UPDATE");
    }

    ast::ExprPtr wholeExpression() {
        lead_ = "Syntax error in expression";
        ast::ExprPtr e = expression();
        if (!peek().is(TokenKind::End)) fail("expected an operator or the end of the expression");
        return e;
    }

    ast::ExprPtr fieldRule() {
        impliedOperand_ = true;
        return wholeExpression();
    }

private:
    // ---- token access

    // Tokens are read only as far as the parser has looked, so the first fault in the text is
    // the one reported. A deque keeps references to earlier tokens valid as it grows.
    const Token& peek(std::size_t ahead = 0) {
        while (tokens_.size() <= pos_ + ahead &&
               !(!tokens_.empty() && tokens_.back().is(TokenKind::End))) {
            tokens_.push_back(lexer_.next());
        }
        return tokens_.size() > pos_ + ahead ? tokens_[pos_ + ahead] : tokens_.back();
    }

    const Token& advance() {
        const Token& t = peek();
        if (!t.is(TokenKind::End)) ++pos_;
        return t;
    }

    bool accept(TokenKind kind) {
        if (!peek().is(kind)) return false;
        advance();
        return true;
    }

    bool accept(Keyword keyword) {
        if (!peek().is(keyword)) return false;
        advance();
        return true;
    }

    void expect(TokenKind kind, std::string_view what) {
        if (!accept(kind)) fail("expected " + std::string(what));
    }

    void expect(Keyword keyword) {
        if (!accept(keyword)) fail(std::string("expected ") + keywordText(keyword));
    }

    // End of the last token taken: expressions span from their first token to here.
    std::size_t consumedEnd() const {
        if (pos_ == 0) return 0;
        const Token& last = tokens_[pos_ - 1];
        return last.offset + last.source.size();
    }

    [[noreturn]] void fail(const std::string& problem) {
        throwSyntaxError(text_, peek().offset, lead_, problem);
    }

    template <typename T>
    T finish(T result, std::string_view problem) {
        accept(TokenKind::Semicolon);
        if (!peek().is(TokenKind::End)) fail(std::string(problem));
        return result;
    }

    // ---- names

    ast::Name name(std::string_view what) {
        const Token& t = peek();
        if (t.is(TokenKind::Keyword)) {
            fail("expected " + std::string(what) + "; " + keywordText(t.keyword) +
                 " is a reserved word, write [" + std::string(t.source) + "] to use it as a name");
        }
        if (!t.isName()) fail("expected " + std::string(what));
        if (t.text.empty()) fail("expected " + std::string(what) + ", found an empty name");
        advance();
        return ast::Name{t.text, t.offset};
    }

    // name or table.name
    ast::ColumnRef columnRef(std::string_view what) {
        ast::ColumnRef ref;
        ref.column = name(what);
        if (accept(TokenKind::Dot)) {
            ref.table = std::move(ref.column);
            ref.column = name("a field name after '.'");
        }
        return ref;
    }

    // ---- statements

    ast::Select select() {
        lead_ = "Syntax error in SELECT statement";
        expect(Keyword::Select);
        ast::Select s;
        do {
            s.items.push_back(selectItem());
        } while (accept(TokenKind::Comma));
        if (!accept(Keyword::From)) fail("expected ',' or FROM");
        lead_ = "Syntax error in FROM clause";
        s.from = name("a table name");
        if (accept(Keyword::Where)) {
            lead_ = "Syntax error in WHERE clause";
            s.where = expression();
        }
        // ORDER, BY, ASC and DESC are read by their place, not reserved: a field called Order
        // or Desc stays usable without brackets.
        if (word(0, "ORDER") && word(1, "BY")) {
            lead_ = "Syntax error in ORDER BY clause";
            advance();
            advance();
            do {
                ast::OrderKey key{expression(), false};
                if (word(0, "DESC")) {
                    key.descending = true;
                    advance();
                } else if (word(0, "ASC")) {
                    advance();
                }
                s.orderBy.push_back(std::move(key));
            } while (accept(TokenKind::Comma));
        }
        return s;
    }

    // A bare (unbracketed) word spelled `upper` in any case, `ahead` tokens on.
    bool word(std::size_t ahead, std::string_view upper) {
        const Token& t = peek(ahead);
        if (!t.is(TokenKind::Identifier) || t.text.size() != upper.size()) return false;
        for (std::size_t i = 0; i < upper.size(); ++i) {
            const char c = t.text[i];
            if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c) != upper[i]) return false;
        }
        return true;
    }

    ast::Delete deleteStatement() {
        lead_ = "Syntax error in DELETE statement";
        expect(Keyword::Delete);
        std::optional<ast::Name> qualifier;
        if (!accept(TokenKind::Star) && peek().isName() && peek(1).is(TokenKind::Dot) &&
            peek(2).is(TokenKind::Star)) {
            qualifier = name("a table name");
            advance();
            advance();
        }
        if (!accept(Keyword::From)) fail("expected *, a table's .* or FROM");
        ast::Delete d;
        d.table = name("a table name");
        if (qualifier && !namesEqual(qualifier->text, d.table.text)) {
            throwSyntaxError(
                text_, qualifier->offset, lead_,
                "'" + qualifier->text + ".*' names a table other than the one in FROM");
        }
        if (accept(Keyword::Where)) {
            lead_ = "Syntax error in WHERE clause";
            d.where = expression();
        }
        return d;
    }

    ast::SelectItem selectItem() {
        const Token& first = peek();
        if (first.is(TokenKind::Star)) {
            advance();
            return ast::AllColumns{std::nullopt, first.offset};
        }
        if (first.isName() && peek(1).is(TokenKind::Dot) && peek(2).is(TokenKind::Star)) {
            ast::AllColumns all{name("a table name"), first.offset};
            advance();
            advance();
            return all;
        }
        if (first.is(TokenKind::End) || first.is(Keyword::From)) fail("expected a field name or *");
        ast::SelectExpr item{expression(), std::nullopt};
        if (accept(Keyword::As)) item.alias = name("a name after AS");
        return item;
    }

    ast::Update update() {
        lead_ = "Syntax error in UPDATE statement";
        expect(Keyword::Update);
        ast::Update u;
        u.table = name("a table name");
        expect(Keyword::Set);
        do {
            ast::Assignment a;
            a.column = columnRef("a field name");
            expect(TokenKind::Equal, "'='");
            a.value = expression();
            u.assignments.push_back(std::move(a));
        } while (accept(TokenKind::Comma));
        if (accept(Keyword::Where)) u.where = expression();
        return u;
    }

    ast::Insert insert() {
        lead_ = "Syntax error in INSERT INTO statement";
        expect(Keyword::Insert);
        expect(Keyword::Into);
        ast::Insert ins;
        ins.table = name("a table name");
        // (a, b, ...) after the opening parenthesis
        const auto listed = [&](auto item) {
            do {
                item();
            } while (accept(TokenKind::Comma));
            expect(TokenKind::RightParen, "')'");
        };
        if (accept(TokenKind::LeftParen)) {
            listed([&] { ins.columns.push_back(name("a field name")); });
        }
        if (accept(Keyword::Values)) {
            expect(TokenKind::LeftParen, "'('");
            listed([&] { ins.values.push_back(expression()); });
        } else if (peek().is(Keyword::Select)) {
            ins.select = std::make_unique<ast::Select>(select());
        } else {
            fail("expected VALUES or SELECT");
        }
        return ins;
    }

    ast::AlterTable alterTable() {
        lead_ = "Syntax error in ALTER TABLE statement";
        expect(Keyword::Alter);
        expect(Keyword::Table);
        ast::AlterTable a;
        a.table = name("a table name");
        if (accept(Keyword::Add)) {
            if (peek().is(Keyword::Constraint)) unsupported("ALTER TABLE ... ADD CONSTRAINT");
            accept(Keyword::Column);
            lead_ = "Syntax error in field definition";
            ast::AddColumn add;
            add.column = name("a field name");
            add.type = dataType();
            for (;;) {
                if (accept(Keyword::Not)) {
                    expect(Keyword::Null);
                    add.notNull = true;
                } else if (word(0, "DEFAULT")) {
                    add.defaultValue = defaultValue();
                } else {
                    break;
                }
            }
            a.action = std::move(add);
        } else if (accept(Keyword::Drop)) {
            if (peek().is(Keyword::Constraint)) unsupported("ALTER TABLE ... DROP CONSTRAINT");
            accept(Keyword::Column);
            a.action = ast::DropColumn{name("a field name")};
        } else if (peek().is(Keyword::Alter)) {
            unsupported("ALTER TABLE ... ALTER COLUMN");
        } else {
            fail("expected ADD or DROP");
        }
        return a;
    }

    // CREATE TABLE t (c type [NOT NULL] [PRIMARY KEY | UNIQUE], ...,
    //                 [CONSTRAINT name] PRIMARY KEY | UNIQUE (c, ...), ...)
    // PRIMARY, KEY, UNIQUE, INDEX, ON and WITH are read by their place, not reserved.
    ast::CreateTable createTable() {
        lead_ = "Syntax error in CREATE TABLE statement";
        expect(Keyword::Create);
        expect(Keyword::Table);
        ast::CreateTable t;
        t.table = name("a table name");
        expect(TokenKind::LeftParen, "'('");
        do {
            if (peek().is(Keyword::Constraint) || (word(0, "PRIMARY") && word(1, "KEY")) ||
                (word(0, "UNIQUE") && peek(1).is(TokenKind::LeftParen))) {
                t.constraints.push_back(keyConstraint());
                continue;
            }
            lead_ = "Syntax error in field definition";
            ast::FieldDefinition f;
            f.column = name("a field name");
            f.type = dataType();
            for (;;) {
                if (accept(Keyword::Not)) {
                    expect(Keyword::Null);
                    f.notNull = true;
                } else if (accept(Keyword::Null)) {
                } else if (word(0, "DEFAULT")) {
                    f.defaultValue = defaultValue();
                } else if (word(0, "PRIMARY") && word(1, "KEY")) {
                    advance();
                    advance();
                    f.primaryKey = true;
                } else if (word(0, "UNIQUE")) {
                    advance();
                    f.unique = true;
                } else if (peek().is(Keyword::Constraint)) {
                    unsupported("A named constraint on a single field");
                } else {
                    break;
                }
            }
            t.fields.push_back(std::move(f));
            lead_ = "Syntax error in CREATE TABLE statement";
        } while (accept(TokenKind::Comma));
        expect(TokenKind::RightParen, "',' or ')'");
        return t;
    }

    // DEFAULT and a literal: a number, a string, a #date#, True or False; the text Access keeps
    // for it as a field's default value (strings in double quotes).
    std::string defaultValue() {
        advance();
        std::string sign;
        if (peek().is(TokenKind::Minus)) {
            sign = "-";
            advance();
        }
        const Token& t = peek();
        std::string text;
        if (t.is(TokenKind::Number)) {
            text = sign + std::string(t.source);
        } else if (!sign.empty()) {
            fail("expected a number after '-'");
        } else if (t.is(TokenKind::String)) {
            text = "\"";
            for (const char c : t.text) text += c == '"' ? std::string("\"\"") : std::string(1, c);
            text += "\"";
        } else if (t.is(TokenKind::Date)) {
            text = "#" + t.text + "#";
        } else if (t.is(Keyword::True) || t.is(Keyword::False)) {
            text = t.is(Keyword::True) ? "True" : "False";
        } else {
            fail("expected a number, a string, a date, True or False as the default value");
        }
        advance();
        return text;
    }

    ast::KeyConstraint keyConstraint() {
        lead_ = "Syntax error in CONSTRAINT clause";
        ast::KeyConstraint k;
        if (accept(Keyword::Constraint)) k.name = name("a constraint name");
        if (word(0, "PRIMARY") && word(1, "KEY")) {
            advance();
            advance();
            k.primaryKey = true;
        } else if (word(0, "UNIQUE")) {
            advance();
        } else if (word(0, "FOREIGN") || word(0, "REFERENCES")) {
            unsupported("FOREIGN KEY constraints");
        } else {
            fail("expected PRIMARY KEY or UNIQUE");
        }
        expect(TokenKind::LeftParen, "'('");
        do {
            k.columns.push_back(name("a field name"));
        } while (accept(TokenKind::Comma));
        expect(TokenKind::RightParen, "',' or ')'");
        return k;
    }

    // CREATE [UNIQUE] INDEX name ON t (c [ASC|DESC], ...)
    //     [WITH PRIMARY | DISALLOW NULL | IGNORE NULL]
    ast::CreateIndex createIndex() {
        lead_ = "Syntax error in CREATE INDEX statement";
        expect(Keyword::Create);
        ast::CreateIndex c;
        if (word(0, "UNIQUE")) {
            advance();
            c.unique = true;
        }
        if (!word(0, "INDEX")) fail("expected TABLE, INDEX or UNIQUE INDEX");
        advance();
        c.index = name("an index name");
        if (!word(0, "ON")) fail("expected ON");
        advance();
        c.table = name("a table name");
        expect(TokenKind::LeftParen, "'('");
        do {
            ast::IndexKey key{name("a field name"), true};
            if (word(0, "DESC")) {
                key.ascending = false;
                advance();
            } else if (word(0, "ASC")) {
                advance();
            }
            c.keys.push_back(std::move(key));
        } while (accept(TokenKind::Comma));
        expect(TokenKind::RightParen, "',' or ')'");
        if (word(0, "WITH")) {
            advance();
            if (word(0, "PRIMARY")) {
                advance();
                c.primary = true;
            } else if (word(0, "DISALLOW") && peek(1).is(Keyword::Null)) {
                advance();
                advance();
                c.disallowNull = true;
            } else if (word(0, "IGNORE") && peek(1).is(Keyword::Null)) {
                advance();
                advance();
                c.ignoreNull = true;
            } else {
                fail("expected PRIMARY, DISALLOW NULL or IGNORE NULL");
            }
        }
        return c;
    }

    // DROP TABLE t, or DROP INDEX name ON t
    ast::Statement drop() {
        lead_ = "Syntax error in DROP TABLE or DROP INDEX";
        expect(Keyword::Drop);
        if (accept(Keyword::Table)) return ast::DropTable{name("a table name")};
        if (!word(0, "INDEX")) fail("expected TABLE or INDEX");
        advance();
        ast::DropIndex d;
        d.index = name("an index name");
        if (!word(0, "ON")) fail("expected ON");
        advance();
        d.table = name("a table name");
        return d;
    }

    [[noreturn]] static void unsupported(const std::string& what) {
        throw Error(ErrorCode::Unsupported, what + " is not supported yet.");
    }

    // INT, TEXT(50), DECIMAL(18, 4)
    ast::DataType dataType() {
        ast::DataType type;
        if (!peek().is(TokenKind::Identifier)) fail("expected a data type such as INT or TEXT(50)");
        const Token& t = advance();
        type.name = ast::Name{t.text, t.offset};
        if (accept(TokenKind::LeftParen)) {
            do {
                const Token& n = peek();
                const auto* size = std::get_if<std::int32_t>(&n.number);
                if (!n.is(TokenKind::Number) || size == nullptr || *size < 0) {
                    fail("expected a whole number as the size or precision of " + type.name.text);
                }
                type.parameters.push_back(*size);
                advance();
            } while (accept(TokenKind::Comma));
            expect(TokenKind::RightParen, "')'");
        }
        return type;
    }

    // ---- expressions

    ast::ExprPtr expression() { return binary(kImp); }

    ast::ExprPtr make(auto node, std::size_t start) {
        auto e = std::make_unique<ast::Expr>();
        e->node = std::move(node);
        e->offset = start;
        e->length = consumedEnd() - start;
        return e;
    }

    // Precedence climbing: takes operators that bind at least as tightly as minPrecedence;
    // every binary operator is left-associative, as in Access (2 ^ 3 ^ 2 is 64).
    //
    // depth_ is the height the tree can have reached on the current path: one per nested call
    // and one per operator a call has chained on its left side.
    ast::ExprPtr binary(int minPrecedence) {
        deeper();
        int chained = 0;
        const std::size_t start = peek().offset;
        // Where a condition may start: at the top, and on either side of AND, OR, NOT, ...
        ast::ExprPtr left = prefix(minPrecedence <= kNot);
        for (;;) {
            if (kCompare >= minPrecedence) {
                if (auto special = comparisonForm(left, start)) {
                    left = std::move(special);
                    deeper();
                    ++chained;
                    continue;
                }
            }
            const auto op = binaryOperator(peek());
            if (!op || op->precedence < minPrecedence) break;
            advance();
            deeper();
            ++chained;
            ast::ExprPtr right = binary(op->precedence + 1);
            left = make(ast::Binary{op->op, std::move(left), std::move(right)}, start);
        }
        depth_ -= 1 + chained;
        return left;
    }

    void deeper() {
        if (++depth_ > kMaxDepth) fail("the expression is too complex or nested too deeply");
    }

    ast::ExprPtr prefix(bool conditionStart) {
        const Token& t = peek();
        const std::size_t start = t.offset;
        std::optional<std::pair<ast::UnaryOp, int>> unary;
        if (t.is(Keyword::Not)) unary = {ast::UnaryOp::Not, kNot};
        if (t.is(TokenKind::Minus)) unary = {ast::UnaryOp::Negate, kNegate};
        if (t.is(TokenKind::Plus)) unary = {ast::UnaryOp::Identity, kNegate};
        if (!unary) {
            if (conditionStart && impliedOperand_ && startsComparison(t)) {
                // The comparison's left side is left out: an empty name stands for the field.
                auto e = std::make_unique<ast::Expr>();
                e->node = ast::ColumnRef{std::nullopt, ast::Name{"", start}};
                e->offset = start;
                return e;
            }
            return primary();
        }
        advance();
        ast::ExprPtr operand = binary(unary->second);
        return make(ast::Unary{unary->first, std::move(operand)}, start);
    }

    static bool startsComparison(const Token& t) {
        switch (t.kind) {
            case TokenKind::Equal:
            case TokenKind::NotEqual:
            case TokenKind::Less:
            case TokenKind::LessEqual:
            case TokenKind::Greater:
            case TokenKind::GreaterEqual:
                return true;
            default:
                return t.is(Keyword::Like) || t.is(Keyword::Between) || t.is(Keyword::In) ||
                       t.is(Keyword::Is);
        }
    }

    // IS [NOT] NULL, [NOT] LIKE, [NOT] BETWEEN .. AND .., [NOT] IN (..): the comparison-level
    // forms that are not a plain binary operator. Null when the next tokens are none of them.
    ast::ExprPtr comparisonForm(ast::ExprPtr& left, std::size_t start) {
        if (accept(Keyword::Is)) {
            const bool negated = accept(Keyword::Not);
            expect(Keyword::Null);
            auto e = make(ast::IsNull{std::move(left)}, start);
            return negated ? make(ast::Unary{ast::UnaryOp::Not, std::move(e)}, start)
                           : std::move(e);
        }
        const bool negated =
            peek().is(Keyword::Not) &&
            (peek(1).is(Keyword::Like) || peek(1).is(Keyword::Between) || peek(1).is(Keyword::In));
        if (negated) advance();
        ast::ExprPtr e;
        if (negated && accept(Keyword::Like)) {
            ast::ExprPtr pattern = binary(kCompare + 1);
            e = make(ast::Binary{ast::BinaryOp::Like, std::move(left), std::move(pattern)}, start);
        } else if (accept(Keyword::Between)) {
            // The AND here belongs to BETWEEN: the bounds are read above the level of AND.
            ast::ExprPtr low = binary(kCompare + 1);
            expect(Keyword::And);
            ast::ExprPtr high = binary(kCompare + 1);
            e = make(ast::Between{std::move(left), std::move(low), std::move(high)}, start);
        } else if (accept(Keyword::In)) {
            expect(TokenKind::LeftParen, "'(' after IN");
            ast::InList in{std::move(left), {}};
            do {
                in.items.push_back(expression());
            } while (accept(TokenKind::Comma));
            expect(TokenKind::RightParen, "')' or ','");
            e = make(std::move(in), start);
        } else {
            return nullptr;
        }
        return negated ? make(ast::Unary{ast::UnaryOp::Not, std::move(e)}, start) : std::move(e);
    }

    ast::ExprPtr primary() {
        const Token& t = peek();
        const std::size_t start = t.offset;
        switch (t.kind) {
            case TokenKind::Number:
                advance();
                return make(ast::Literal{t.number}, start);
            case TokenKind::String:
                advance();
                return make(ast::Literal{Value{t.text}}, start);
            case TokenKind::Date:
                advance();
                return make(ast::DateLiteral{t.text}, start);
            case TokenKind::LeftParen: {
                advance();
                ast::ExprPtr inner = expression();
                expect(TokenKind::RightParen, "an operator or ')'");
                return inner;
            }
            case TokenKind::Identifier:
                if (peek(1).is(TokenKind::LeftParen)) return functionCall();
                return make(columnRef("a field name"), start);
            case TokenKind::BracketedName:
            case TokenKind::BackquotedName:
                return make(columnRef("a field name"), start);
            case TokenKind::Keyword:
                if (accept(Keyword::Null)) return make(ast::Literal{Null{}}, start);
                if (accept(Keyword::True)) return make(ast::Literal{true}, start);
                if (accept(Keyword::False)) return make(ast::Literal{false}, start);
                fail(std::string("expected an expression; ") + keywordText(t.keyword) +
                     " is a reserved word, write [" + std::string(t.source) +
                     "] to use it as a name");
            default:
                fail("expected an expression");
        }
    }

    ast::ExprPtr functionCall() {
        const Token& n = advance();
        ast::FunctionCall call{ast::Name{n.text, n.offset}, {}};
        advance();  // (
        // Count(*): the only call whose argument is a star.
        if (peek().is(TokenKind::Star) && peek(1).is(TokenKind::RightParen)) {
            advance();
            advance();
            call.star = true;
            return make(std::move(call), n.offset);
        }
        if (!accept(TokenKind::RightParen)) {
            do {
                call.arguments.push_back(expression());
            } while (accept(TokenKind::Comma));
            expect(TokenKind::RightParen, "',' or ')' to close the arguments of " + n.text);
        }
        return make(std::move(call), n.offset);
    }

    std::string_view text_;
    Lexer lexer_;
    std::deque<Token> tokens_;
    std::size_t pos_ = 0;
    std::string_view lead_ = "Syntax error";
    int depth_ = 0;
    bool impliedOperand_ = false;  // a field's validation rule: comparisons may omit their left
};

}  // namespace

ast::Statement parseStatement(std::string_view statement) { return Parser(statement).statement(); }

ast::ExprPtr parseExpression(std::string_view expression) {
    return Parser(expression).wholeExpression();
}

ast::ExprPtr parseFieldRule(std::string_view rule) { return Parser(rule).fieldRule(); }

}  // namespace jet::sql
