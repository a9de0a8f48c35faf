#include "jet/sql/validation_rules.h"

#include <chrono>
#include <ctime>
#include <type_traits>
#include <utility>
#include <variant>

#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/parser.h"
#include "jet/store/table_definition.h"

namespace jet::sql {

struct ValidationRules::Rule {
    std::string text;   // the rule as stored, trimmed
    std::string where;  // "T.F" for a field's rule, "T" for the table's
    ErrorCode code = ErrorCode::FieldRuleBroken;
    std::string message;  // the ValidationText, or Access's own words
    std::optional<BoundExpression> bound;
    std::string unusable;     // why it cannot be checked, when `bound` is empty
    std::vector<bool> reads;  // the columns it reads
};

namespace {

using PropertyMap = std::map<std::string, store::Property>;

constexpr std::uint8_t kYesNoProperty = 0x01;
constexpr std::uint8_t kTextProperty = 0x0A;
constexpr std::uint8_t kMemoProperty = 0x0C;

const store::Property* find(const PropertyMap* map, std::string_view name) {
    if (map == nullptr) return nullptr;
    for (const auto& [key, property] : *map) {
        if (namesEqual(key, name)) return &property;
    }
    return nullptr;
}

std::string trimmed(std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start])) ++start;
    return text.substr(start);
}

// A text property's value, trimmed; null when it is missing or blank. Throws for a value that
// is not text, since a rule that cannot be read cannot be left unchecked.
std::optional<std::string> textProperty(const Database& db, const PropertyMap* map,
                                        std::string_view name, const std::string& where) {
    const store::Property* p = find(map, name);
    if (p == nullptr) return std::nullopt;
    if (p->type != kTextProperty && p->type != kMemoProperty) {
        throw Error(ErrorCode::Unsupported, "The " + std::string(name) + " property of '" + where +
                                                "' is not text (type " + std::to_string(p->type) +
                                                "); it cannot be read.");
    }
    std::string text = trimmed(store::decodeName(*db.format(), p->data, db.codePage()));
    if (text.empty()) return std::nullopt;
    return text;
}

// What Access says of a broken rule that has no ValidationText; Access 2010 and later say the
// same of a table's rule, naming the table.
std::string accessWords(const std::string& rule, const std::string& where) {
    return "One or more values are prohibited by the validation rule '" + rule + "' set for '" +
           where + "'. Enter a value that the expression for this field can accept.";
}

// ---- the shapes of a field's rule

bool isImplied(const ast::Expr& e) {
    const auto* ref = std::get_if<ast::ColumnRef>(&e.node);
    return ref != nullptr && !ref->table && ref->column.text.empty();
}

// Calls `visit` on every expression under (and including) `e`, children first.
template <typename Visit>
void forEachExpression(ast::ExprPtr& e, Visit&& visit) {
    ast::forEachChild(*e, [&](ast::ExprPtr& child) { forEachExpression(child, visit); });
    visit(e);
}

bool holdsImplied(ast::ExprPtr& e) {
    bool found = false;
    forEachExpression(e, [&](ast::ExprPtr& x) { found = found || isImplied(*x); });
    return found;
}

[[noreturn]] void badShape(const std::string& rule, const ast::Expr& e, const std::string& why) {
    const std::string part = e.offset <= rule.size() ? rule.substr(e.offset, e.length) : rule;
    throw Error(ErrorCode::SyntaxError, "'" + part + "' " + why + ".");
}

bool isLogical(ast::BinaryOp op) {
    using Op = ast::BinaryOp;
    return op == Op::And || op == Op::Or || op == Op::Xor || op == Op::Eqv || op == Op::Imp;
}

bool isComparison(ast::BinaryOp op) {
    using Op = ast::BinaryOp;
    return op == Op::Equal || op == Op::NotEqual || op == Op::Less || op == Op::LessEqual ||
           op == Op::Greater || op == Op::GreaterEqual || op == Op::Like;
}

// Makes every condition of a field's rule a test of the field, as Access reads it: a comparison
// that leaves out its left side compares the field; a whole comparison ("Len([Code]) < 5") stands
// as it is; a bare value is compared with the field for equality (the 0 of "0 Or > 100"), and a
// bare Null means Is Null ("Not Null"). Throws for a left-out side anywhere else.
void normalizeCondition(ast::ExprPtr& e, const std::string& rule) {
    auto& node = e->node;
    ast::ExprPtr* tested = nullptr;     // what the condition compares
    std::vector<ast::ExprPtr*> others;  // the rest of it
    if (auto* b = std::get_if<ast::Binary>(&node)) {
        if (isLogical(b->op)) {
            normalizeCondition(b->left, rule);
            normalizeCondition(b->right, rule);
            return;
        }
        if (isComparison(b->op)) {
            tested = &b->left;
            others = {&b->right};
        }
    } else if (auto* u = std::get_if<ast::Unary>(&node); u && u->op == ast::UnaryOp::Not) {
        normalizeCondition(u->operand, rule);
        return;
    } else if (auto* n = std::get_if<ast::IsNull>(&node)) {
        tested = &n->operand;
    } else if (auto* between = std::get_if<ast::Between>(&node)) {
        tested = &between->operand;
        others = {&between->low, &between->high};
    } else if (auto* in = std::get_if<ast::InList>(&node)) {
        tested = &in->operand;
        for (auto& item : in->items) others.push_back(&item);
    }
    if (tested != nullptr) {
        if (!isImplied(**tested)) others.push_back(tested);
        for (ast::ExprPtr* other : others) {
            if (holdsImplied(*other)) badShape(rule, *e, "cannot be read");
        }
        return;
    }
    if (holdsImplied(e)) badShape(rule, *e, "cannot be read");
    auto field = std::make_unique<ast::Expr>();
    field->node = ast::ColumnRef{std::nullopt, ast::Name{"", e->offset}};
    field->offset = e->offset;
    const std::size_t offset = e->offset;
    const std::size_t length = e->length;
    const auto* literal = std::get_if<ast::Literal>(&e->node);
    auto test = std::make_unique<ast::Expr>();
    if (literal != nullptr && isNull(literal->value)) {
        test->node = ast::IsNull{std::move(field)};
    } else {
        test->node = ast::Binary{ast::BinaryOp::Equal, std::move(field), std::move(e)};
    }
    test->offset = offset;
    test->length = length;
    e = std::move(test);
}

// ---- the clock

struct Clock {
    double today = 0;  // the date serial of today, local time
    double time = 0;   // the time of day as a fraction of a day
};

Clock readClock() {
    using namespace std::chrono;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const sys_days today = year{local.tm_year + 1900} /
                           month{static_cast<unsigned>(local.tm_mon + 1)} /
                           day{static_cast<unsigned>(local.tm_mday)};
    const sys_days epoch = year{1899} / December / day{30};
    Clock c;
    c.today = static_cast<double>((today - epoch).count());
    c.time = (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
    return c;
}

// Puts the clock's reading in place of Date(), Now() and Time().
void readClockOnce(ast::ExprPtr& root, const Clock& clock) {
    forEachExpression(root, [&](ast::ExprPtr& e) {
        const auto* call = std::get_if<ast::FunctionCall>(&e->node);
        if (call == nullptr || !call->arguments.empty() || call->star) return;
        const std::string& name = call->name.text;
        double serial = 0;
        if (namesEqual(name, "Date")) {
            serial = clock.today;
        } else if (namesEqual(name, "Now")) {
            serial = clock.today + clock.time;
        } else if (namesEqual(name, "Time")) {
            serial = clock.time;
        } else {
            return;
        }
        e->node = ast::Literal{DateTime{serial}};
    });
}

// Throws for a field's rule that names another field, which Access does not allow. The field
// itself may be named, as in "Len([Code]) < 5".
void refuseOtherFields(ast::ExprPtr& root, const std::string& rule, const std::string& field) {
    forEachExpression(root, [&](ast::ExprPtr& e) {
        const auto* ref = std::get_if<ast::ColumnRef>(&e->node);
        if (ref != nullptr && !isImplied(*e) && !namesEqual(ref->column.text, field)) {
            badShape(rule, *e, "names another field; a field's rule can only test its own field");
        }
    });
}

// Names the field in place of each left-out operand.
void nameTheField(ast::ExprPtr& root, const std::string& field) {
    forEachExpression(root, [&](ast::ExprPtr& e) {
        if (isImplied(*e)) std::get<ast::ColumnRef>(e->node).column.text = field;
    });
}

}  // namespace

ValidationRules::ValidationRules(const Database& db, const TableDef& table,
                                 const store::PropertyMaps& properties) {
    const std::size_t count = table.columns.size();
    fieldRules_.resize(count);
    noZeroLength_.assign(count, false);
    fieldNames_.resize(count);
    std::optional<Clock> clock;
    const auto bindRule = [&](Rule& rule, ast::ExprPtr parsed) {
        if (!clock) clock = readClock();
        readClockOnce(parsed, *clock);
        rule.reads.assign(count, false);
        markColumnsRead(*parsed, table, rule.reads);
        rule.bound = bindWithAccessWildcards(*parsed, table, rule.text);
    };
    const auto mapOf = [&](const std::string& name) -> const PropertyMap* {
        const auto found = properties.find(foldName(name));
        return found == properties.end() ? nullptr : &found->second;
    };

    for (const auto& c : table.columns) {
        const std::string where = table.name + "." + c.name;
        fieldNames_[c.order] = where;
        const PropertyMap* map = mapOf(c.name);
        if (map == nullptr) continue;
        if (c.type == ColumnType::Text || c.type == ColumnType::Memo) {
            const store::Property* allow = find(map, "AllowZeroLength");
            noZeroLength_[c.order] = allow != nullptr && allow->type == kYesNoProperty &&
                                     !allow->data.empty() && allow->data[0] == 0;
        }
        const auto text = textProperty(db, map, "ValidationRule", where);
        if (!text) continue;
        auto rule = std::make_unique<Rule>();
        rule->text = *text;
        rule->where = where;
        rule->message =
            textProperty(db, map, "ValidationText", where).value_or(accessWords(*text, where));
        try {
            ast::ExprPtr parsed = parseFieldRule(*text);
            refuseOtherFields(parsed, *text, c.name);
            normalizeCondition(parsed, *text);
            nameTheField(parsed, c.name);
            bindRule(*rule, std::move(parsed));
        } catch (const Error& e) {
            rule->unusable = e.what();
        }
        fieldRules_[c.order] = std::move(rule);
    }

    const PropertyMap* own = mapOf("");
    if (const auto text = textProperty(db, own, "ValidationRule", table.name)) {
        tableRule_ = std::make_unique<Rule>();
        tableRule_->text = *text;
        tableRule_->where = table.name;
        tableRule_->code = ErrorCode::TableRuleBroken;
        tableRule_->message = textProperty(db, own, "ValidationText", table.name)
                                  .value_or(accessWords(*text, table.name));
        try {
            bindRule(*tableRule_, parseExpression(*text));
        } catch (const Error& e) {
            tableRule_->unusable = e.what();
        }
    }
    empty_ = !tableRule_;
    for (std::size_t i = 0; i < count; ++i) empty_ = empty_ && !fieldRules_[i] && !noZeroLength_[i];
}

ValidationRules::~ValidationRules() = default;

bool ValidationRules::empty() const { return empty_; }

bool ValidationRules::checksChangeOf(std::size_t column) const {
    if (empty_) return false;
    if (tableRule_) return true;
    return column < fieldRules_.size() && (fieldRules_[column] || noZeroLength_[column]);
}

void ValidationRules::addColumnsRead(std::vector<bool>& mask) const {
    if (!tableRule_) return;
    if (!tableRule_->bound) return;  // it fails before it reads anything
    for (std::size_t i = 0; i < mask.size() && i < tableRule_->reads.size(); ++i) {
        if (tableRule_->reads[i]) mask[i] = true;
    }
}

void ValidationRules::check(const std::vector<Value>& row,
                            const store::ChangedColumns& changed) const {
    if (empty_) return;
    for (std::size_t i = 0; i < fieldRules_.size(); ++i) {
        if (!changed.contains(i)) continue;
        if (noZeroLength_[i]) {
            const auto* text = std::get_if<std::string>(&row[i]);
            if (text != nullptr && text->empty()) {
                throw Error(
                    ErrorCode::ZeroLengthString,
                    "The field '" + fieldNames_[i] + "' cannot contain a zero-length string.");
            }
        }
        if (fieldRules_[i]) apply(*fieldRules_[i], row);
    }
    if (tableRule_) apply(*tableRule_, row);
}

void ValidationRules::apply(const Rule& rule, const std::vector<Value>& row) {
    const auto cannotCheck = [&](ErrorCode code, const std::string& why) {
        return Error(code, "Cannot check the validation rule '" + rule.text + "' set for '" +
                               rule.where + "': " + why);
    };
    if (!rule.bound) throw cannotCheck(ErrorCode::Unsupported, rule.unusable);
    try {
        const Value result = rule.bound->evaluate(row);
        if (isNull(result) || isTrue(result)) return;
    } catch (const Error& e) {
        throw cannotCheck(e.code(), e.what());
    }
    throw Error(rule.code, rule.message);
}

}  // namespace jet::sql
