#include "jet/values/value_rules.h"

#include <charconv>
#include <cstring>
#include <utility>

#include "jet/base/names.h"
#include "jet/base/overloaded.h"
#include "jet/values/date_time.h"
#include "jet/values/decimal_math.h"

namespace jet::values {

namespace {

__extension__ using I128 = __int128;

std::string currencyText(Currency c) {
    std::string text = formatCurrency(c);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

// The exact whole-number view of Yes/No and the integer types.
std::optional<std::int64_t> integerOf(const Value& v) {
    return std::visit(
        Overloaded{[](bool b) -> std::optional<std::int64_t> { return b ? -1 : 0; },
                   [](std::uint8_t x) -> std::optional<std::int64_t> { return x; },
                   [](std::int16_t x) -> std::optional<std::int64_t> { return x; },
                   [](std::int32_t x) -> std::optional<std::int64_t> { return x; },
                   [](std::int64_t x) -> std::optional<std::int64_t> { return x; },
                   [](const auto&) -> std::optional<std::int64_t> { return std::nullopt; }},
        v);
}

bool isDate(const Value& v) {
    return std::holds_alternative<DateTime>(v) || std::holds_alternative<DateTimeExtended>(v);
}

bool isFloating(const Value& v) {
    return std::holds_alternative<float>(v) || std::holds_alternative<double>(v);
}

Decimal exactDecimal(const Value& v) {
    if (const auto* d = std::get_if<Decimal>(&v)) return *d;
    if (const auto* c = std::get_if<Currency>(&v)) return decimalFromCurrency(*c);
    return decimalFromInteger(*integerOf(v));
}

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Two numbers (as isNumber defines them) compared exactly where both are exact.
int compareNumbers(const Value& a, const Value& b) {
    if (isDate(a) || isDate(b))
        return threeWay(dateToLinear(toDouble(a)), dateToLinear(toDouble(b)));
    if (isFloating(a) || isFloating(b)) return threeWay(toDouble(a), toDouble(b));
    if (std::holds_alternative<Decimal>(a) || std::holds_alternative<Decimal>(b)) {
        return decimalCompare(exactDecimal(a), exactDecimal(b));
    }
    // Whole numbers and Currency, both in units of 1/10000.
    auto scaled = [](const Value& v) -> I128 {
        if (const auto* c = std::get_if<Currency>(&v)) return c->scaled;
        return static_cast<I128>(*integerOf(v)) * 10000;
    };
    return threeWay(scaled(a), scaled(b));
}

// A text compared with a number or a date is read as the other's kind.
int compareTextWith(const std::string& text, const Value& other, bool textFirst) {
    int c = 0;
    if (isDate(other)) {
        std::optional<double> serial = parseDateText(text);
        if (!serial) serial = parseNumberText(text);
        if (!serial) {
            throwFault(ErrorCode::TypeMismatch,
                       describeValue(text) + " cannot be compared with a date");
        }
        c = compareNumbers(DateTime{*serial}, other);
    } else if (std::holds_alternative<bool>(other)) {
        c = threeWay(toBoolean(text) ? -1 : 0, std::get<bool>(other) ? -1 : 0);
    } else {
        const auto number = parseNumberText(text);
        if (!number) {
            throwFault(ErrorCode::TypeMismatch,
                       describeValue(text) + " cannot be compared with a number");
        }
        c = compareNumbers(*number, other);
    }
    return textFirst ? c : -c;
}

int kindRank(const Value& v) {
    if (isNull(v)) return 0;
    if (isNumber(v)) return 1;
    if (std::holds_alternative<std::string>(v)) return 2;
    if (std::holds_alternative<Guid>(v)) return 3;
    if (std::holds_alternative<ComplexId>(v)) return 4;
    return 5;
}

}  // namespace

void throwFault(ErrorCode code, std::string detail) { throw ValueFault{code, std::move(detail)}; }

std::string describeValue(const Value& v) {
    if (isNull(v)) return "Null";
    if (const auto* s = std::get_if<std::string>(&v)) {
        constexpr std::size_t kMax = 60;
        if (s->size() <= kMax) return "'" + *s + "'";
        std::size_t cut = kMax;
        while (cut > 0 && (static_cast<unsigned char>((*s)[cut]) & 0xC0) == 0x80) --cut;
        return "'" + s->substr(0, cut) + "...'";
    }
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
    if (isDate(v)) return "#" + textOf(v) + "#";
    if (const auto* bytes = std::get_if<Bytes>(&v)) {
        return "binary data of " + std::to_string(bytes->size()) + " bytes";
    }
    return textOf(v);
}

std::optional<ColumnType> typeOfValue(const Value& v) {
    return std::visit(
        Overloaded{
            [](const Null&) -> std::optional<ColumnType> { return std::nullopt; },
            [](bool) -> std::optional<ColumnType> { return ColumnType::YesNo; },
            [](std::uint8_t) -> std::optional<ColumnType> { return ColumnType::Byte; },
            [](std::int16_t) -> std::optional<ColumnType> { return ColumnType::Integer; },
            [](std::int32_t) -> std::optional<ColumnType> { return ColumnType::Long; },
            [](std::int64_t) -> std::optional<ColumnType> { return ColumnType::BigInt; },
            [](Currency) -> std::optional<ColumnType> { return ColumnType::Currency; },
            [](float) -> std::optional<ColumnType> { return ColumnType::Single; },
            [](double) -> std::optional<ColumnType> { return ColumnType::Double; },
            [](DateTime) -> std::optional<ColumnType> { return ColumnType::DateTime; },
            [](const DateTimeExtended&) -> std::optional<ColumnType> {
                return ColumnType::DateTimeExtended;
            },
            [](const Decimal&) -> std::optional<ColumnType> { return ColumnType::Decimal; },
            [](const Guid&) -> std::optional<ColumnType> { return ColumnType::GUID; },
            [](ComplexId) -> std::optional<ColumnType> { return ColumnType::Complex; },
            [](const std::string&) -> std::optional<ColumnType> { return ColumnType::Text; },
            [](const Bytes&) -> std::optional<ColumnType> { return ColumnType::Binary; },
        },
        v);
}

std::optional<double> parseNumberText(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
    std::string_view s = text.substr(first, last - first);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and hexadecimal floats: only digits may start.
    if (s.empty() || !((s[0] >= '0' && s[0] <= '9') || s[0] == '.')) return std::nullopt;
    double value = 0;
    const auto [end, ec] =
        std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return negative ? -value : value;
}

std::string numberText(const Value& number) {
    return std::visit(Overloaded{
                          [](bool b) -> std::string { return b ? "-1" : "0"; },
                          [](std::uint8_t x) { return std::to_string(x); },
                          [](std::int16_t x) { return std::to_string(x); },
                          [](std::int32_t x) { return std::to_string(x); },
                          [](std::int64_t x) { return std::to_string(x); },
                          [](Currency x) { return currencyText(x); },
                          [](float x) { return formatSingle(x); },
                          [](double x) { return formatDouble(x); },
                          [](const Decimal& x) { return formatDecimal(x); },
                          [](ComplexId x) { return std::to_string(x.id); },
                          [](const auto&) -> std::string { return {}; },
                      },
                      number);
}

std::string textOf(const Value& v) {
    if (isNull(v)) return {};
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* d = std::get_if<DateTime>(&v)) return formatGeneralDate(d->days);
    if (const auto* e = std::get_if<DateTimeExtended>(&v)) {
        return formatGeneralDate(dateFromExtended(*e).days);
    }
    if (const auto* g = std::get_if<Guid>(&v)) return formatGuid(*g);
    if (std::holds_alternative<Bytes>(v)) {
        throwFault(ErrorCode::TypeMismatch, "binary data cannot be used as text");
    }
    return numberText(v);
}

bool isNumber(const Value& v) {
    return integerOf(v).has_value() || isFloating(v) || isDate(v) ||
           std::holds_alternative<Currency>(v) || std::holds_alternative<Decimal>(v);
}

double toDouble(const Value& v) {
    if (const auto i = integerOf(v)) return static_cast<double>(*i);
    if (const auto* f = std::get_if<float>(&v)) return *f;
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* c = std::get_if<Currency>(&v)) return static_cast<double>(c->scaled) / 10000.0;
    if (const auto* d = std::get_if<Decimal>(&v)) return decimalToDouble(*d);
    if (const auto* t = std::get_if<DateTime>(&v)) return t->days;
    if (const auto* e = std::get_if<DateTimeExtended>(&v)) return dateFromExtended(*e).days;
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (const auto n = parseNumberText(*s)) return *n;
        throwFault(ErrorCode::TypeMismatch, describeValue(v) + " is not a number");
    }
    throwFault(ErrorCode::TypeMismatch, describeValue(v) + " is not a number");
}

bool toBoolean(const Value& v) {
    if (const auto* b = std::get_if<bool>(&v)) return *b;
    if (const auto* s = std::get_if<std::string>(&v)) {
        const std::string folded = foldText(*s);
        std::string_view t = folded;
        while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
        if (t == "true") return true;
        if (t == "false") return false;
        if (const auto n = parseNumberText(t)) return *n != 0;
        throwFault(ErrorCode::TypeMismatch, describeValue(v) + " is neither True nor False");
    }
    if (const auto* d = std::get_if<Decimal>(&v)) return !decimalIsZero(*d);
    if (const auto* c = std::get_if<Currency>(&v)) return c->scaled != 0;
    if (isNumber(v)) return toDouble(v) != 0;
    throwFault(ErrorCode::TypeMismatch, describeValue(v) + " is neither True nor False");
}

std::string foldText(std::string_view text) { return foldName(text); }

int compareValues(const Value& a, const Value& b) {
    const auto* ta = std::get_if<std::string>(&a);
    const auto* tb = std::get_if<std::string>(&b);
    if (ta && tb) return threeWay(foldText(*ta), foldText(*tb));
    if (isNumber(a) && isNumber(b)) return compareNumbers(a, b);
    if (ta && isNumber(b)) return compareTextWith(*ta, b, true);
    if (tb && isNumber(a)) return compareTextWith(*tb, a, false);
    const auto* ga = std::get_if<Guid>(&a);
    const auto* gb = std::get_if<Guid>(&b);
    if (ga && gb) return threeWay(formatGuid(*ga), formatGuid(*gb));
    // A GUID compared with text is compared in its "{XXXXXXXX-...}" form, without regard to case.
    if (ga && tb) return threeWay(foldText(formatGuid(*ga)), foldText(*tb));
    if (gb && ta) return -compareValues(b, a);
    const auto* ba = std::get_if<Bytes>(&a);
    const auto* bb = std::get_if<Bytes>(&b);
    if (ba && bb) return threeWay(*ba, *bb);
    const auto* ca = std::get_if<ComplexId>(&a);
    const auto* cb = std::get_if<ComplexId>(&b);
    if (ca && cb) return threeWay(ca->id, cb->id);
    throwFault(ErrorCode::TypeMismatch,
               describeValue(a) + " cannot be compared with " + describeValue(b));
}

int compareForSort(const Value& a, const Value& b) {
    const int ka = kindRank(a);
    const int kb = kindRank(b);
    if (ka != kb) return ka < kb ? -1 : 1;
    if (ka == 0) return 0;
    try {
        return compareValues(a, b);
    } catch (const ValueFault&) {
        return 0;  // values of one kind that still do not compare keep their order
    }
}

}  // namespace jet::values
