#include "jet/values/functions.h"

#include <locale.h>

#include <array>
#include <cmath>
#include <cwctype>
#include <limits>
#include <string>

#include "jet/values/arithmetic.h"
#include "jet/values/conversion.h"
#include "jet/values/date_time.h"
#include "jet/values/decimal_math.h"
#include "jet/values/text_units.h"
#include "jet/values/value_rules.h"

namespace jet::values {

namespace {

__extension__ using I128 = __int128;

using Arguments = std::vector<Value>;

[[noreturn]] void invalidArgument(const std::string& detail) {
    throwFault(ErrorCode::TypeMismatch, detail);
}

// A count of characters or places: a whole number, 0 or more.
std::int64_t count(const Value& v, const char* what) {
    if (isNull(v)) invalidArgument(std::string("Null is not a valid ") + what);
    const std::int64_t n = wholeNumber(v);
    if (n < 0) invalidArgument(std::string("the ") + what + " must not be negative");
    return n;
}

// Yes/No and Date/Time Extended as the numeric functions see them; text read as a Double.
Value numericArgument(const Value& v) {
    if (const auto* b = std::get_if<bool>(&v)) return static_cast<std::int16_t>(*b ? -1 : 0);
    if (const auto* e = std::get_if<DateTimeExtended>(&v)) return dateFromExtended(*e);
    if (std::holds_alternative<std::string>(v)) return toDouble(v);
    if (!isNumber(v)) throwFault(ErrorCode::TypeMismatch, describeValue(v) + " is not a number");
    return v;
}

bool isWholeType(const Value& v) {
    return std::holds_alternative<std::uint8_t>(v) || std::holds_alternative<std::int16_t>(v) ||
           std::holds_alternative<std::int32_t>(v) || std::holds_alternative<std::int64_t>(v);
}

// ---- numbers

Value absValue(const Arguments& a) {
    if (isNull(a[0])) return Null{};
    Value x = numericArgument(a[0]);
    if (isWholeType(x)) {
        const Value negated = negate(x);
        return compareValues(x, std::int16_t{0}) < 0 ? negated : x;
    }
    if (const auto* f = std::get_if<float>(&x)) return std::fabs(*f);
    if (const auto* d = std::get_if<double>(&x)) return std::fabs(*d);
    if (const auto* d = std::get_if<Decimal>(&x)) return d->negative ? decimalNegate(*d) : *d;
    if (const auto* t = std::get_if<DateTime>(&x)) return std::fabs(t->days);
    return std::get<Currency>(x).scaled < 0 ? negate(x) : x;
}

// Int (Rounding::Down) and Fix (Rounding::TowardZero).
Value wholePart(const Value& arg, Rounding mode) {
    if (isNull(arg)) return Null{};
    Value x = numericArgument(arg);
    // "+ 0.0" turns the -0 that trunc(-0.5) gives into 0.
    auto cut = [mode](double d) {
        return (mode == Rounding::Down ? std::floor(d) : std::trunc(d)) + 0.0;
    };
    if (isWholeType(x)) return x;
    if (const auto* f = std::get_if<float>(&x)) return static_cast<float>(cut(*f));
    if (const auto* d = std::get_if<double>(&x)) return cut(*d);
    if (const auto* d = std::get_if<Decimal>(&x)) return decimalRound(*d, 0, mode);
    if (const auto* t = std::get_if<DateTime>(&x)) {
        return DateTime{dateFromLinear(std::floor(dateToLinear(t->days)))};
    }
    const std::int64_t scaled = std::get<Currency>(x).scaled;
    std::int64_t whole = scaled / 10000;
    if (mode == Rounding::Down && scaled % 10000 < 0) --whole;
    return Currency{whole * 10000};
}

Value intValue(const Arguments& a) { return wholePart(a[0], Rounding::Down); }
Value fixValue(const Arguments& a) { return wholePart(a[0], Rounding::TowardZero); }

// x rounded to `places` decimals, half to even on its shortest decimal digits.
double roundDouble(double x, int places) {
    // From 1E16 on every double is a whole number already; NaN and infinities do not occur.
    if (!(std::fabs(x) < 1e16) || places > 28) return x;
    return decimalToDouble(decimalRound(decimalFromDouble(x), places));
}

Value roundValue(const Arguments& a) {
    if (isNull(a[0])) return Null{};
    Value x = numericArgument(a[0]);
    const auto places = static_cast<int>(
        std::min<std::int64_t>(a.size() > 1 ? count(a[1], "number of decimal places") : 0, 100));
    if (isWholeType(x)) return x;
    if (const auto* f = std::get_if<float>(&x)) {
        if (places > 28 || !(std::fabs(*f) < 1e16f)) return *f;
        const Decimal d = decimalRound(*parseDecimal(formatSingle(*f)), places);
        return static_cast<float>(decimalToDouble(d));
    }
    if (const auto* d = std::get_if<double>(&x)) return roundDouble(*d, places);
    if (const auto* d = std::get_if<Decimal>(&x)) return decimalRound(*d, places);
    if (const auto* t = std::get_if<DateTime>(&x)) return DateTime{roundDouble(t->days, places)};
    return convertToType(decimalRound(decimalFromCurrency(std::get<Currency>(x)), places),
                         ColumnType::Currency);
}

// ---- conversions

template <ColumnType type>
Value convertTo(const Arguments& a) {
    if (isNull(a[0])) invalidArgument("invalid use of Null");
    return convertToType(a[0], type);
}

// CDec keeps the fraction: the value's own digits, as many as a Decimal holds.
Value cdecValue(const Arguments& a) {
    if (isNull(a[0])) invalidArgument("invalid use of Null");
    DecimalShape whatFits;
    whatFits.precision = 29;
    whatFits.ownScale = true;
    return convertToType(a[0], ColumnType::Decimal, whatFits);
}

Value cstrValue(const Arguments& a) {
    if (isNull(a[0])) invalidArgument("invalid use of Null");
    // CStr spells Yes/No as words, unlike "&", which shows the stored -1/0.
    if (const auto* b = std::get_if<bool>(&a[0])) return std::string(*b ? "True" : "False");
    return textOf(a[0]);
}

// ---- text

locale_t utf8Locale() {
    static const locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    }();
    return loc;
}

std::u32string charactersOf(const Value& v) { return decodeUtf8(textOf(v)); }

Value lenValue(const Arguments& a) {
    if (isNull(a[0])) return Null{};
    return static_cast<std::int32_t>(charactersOf(a[0]).size());
}

Value leftValue(const Arguments& a) {
    if (isNull(a[0])) return Null{};
    const std::u32string s = charactersOf(a[0]);
    const auto n =
        static_cast<std::size_t>(std::min<std::int64_t>(count(a[1], "length"), INT32_MAX));
    return encodeUtf8(std::u32string_view(s).substr(0, n));
}

Value rightValue(const Arguments& a) {
    if (isNull(a[0])) return Null{};
    const std::u32string s = charactersOf(a[0]);
    const auto n =
        static_cast<std::size_t>(std::min<std::int64_t>(count(a[1], "length"), INT32_MAX));
    return encodeUtf8(n >= s.size() ? std::u32string_view(s)
                                    : std::u32string_view(s).substr(s.size() - n));
}

Value midValue(const Arguments& a) {
    if (isNull(a[0])) return Null{};
    const std::u32string s = charactersOf(a[0]);
    if (isNull(a[1])) invalidArgument("Null is not a valid start");
    const std::int64_t start = wholeNumber(a[1]);
    if (start < 1) invalidArgument("the start must be 1 or more");
    std::size_t n = std::u32string::npos;
    if (a.size() > 2) {
        n = static_cast<std::size_t>(std::min<std::int64_t>(count(a[2], "length"), INT32_MAX));
    }
    const auto from = static_cast<std::size_t>(std::min<std::int64_t>(start - 1, INT32_MAX));
    if (from >= s.size()) return std::string();
    return encodeUtf8(std::u32string_view(s).substr(from, n));
}

template <bool upper>
Value changeCase(const Arguments& a) {
    if (isNull(a[0])) return Null{};
    std::u32string s = charactersOf(a[0]);
    for (char32_t& c : s) {
        if (c < 0x80) {
            if (upper && c >= 'a' && c <= 'z') c -= 32;
            if (!upper && c >= 'A' && c <= 'Z') c += 32;
        } else {
            const auto w = static_cast<wint_t>(c);
            c = static_cast<char32_t>(upper ? towupper_l(w, utf8Locale())
                                            : towlower_l(w, utf8Locale()));
        }
    }
    return encodeUtf8(s);
}

// VBA's Trim family removes spaces only, not tabs or line breaks.
template <bool left, bool right>
Value trimValue(const Arguments& a) {
    if (isNull(a[0])) return Null{};
    const std::string s = textOf(a[0]);
    std::size_t first = 0;
    std::size_t last = s.size();
    if (left) {
        while (first < last && s[first] == ' ') ++first;
    }
    if (right) {
        while (last > first && s[last - 1] == ' ') --last;
    }
    return s.substr(first, last - first);
}

constexpr std::array<FunctionDef, 23> kFunctions{{
    {"Abs", 1, 1, absValue},
    {"CBool", 1, 1, convertTo<ColumnType::YesNo>},
    {"CByte", 1, 1, convertTo<ColumnType::Byte>},
    {"CCur", 1, 1, convertTo<ColumnType::Currency>},
    {"CDate", 1, 1, convertTo<ColumnType::DateTime>},
    {"CDbl", 1, 1, convertTo<ColumnType::Double>},
    {"CDec", 1, 1, cdecValue},
    {"CInt", 1, 1, convertTo<ColumnType::Integer>},
    {"CLng", 1, 1, convertTo<ColumnType::Long>},
    {"CSng", 1, 1, convertTo<ColumnType::Single>},
    {"CStr", 1, 1, cstrValue},
    {"Fix", 1, 1, fixValue},
    {"Int", 1, 1, intValue},
    {"LCase", 1, 1, changeCase<false>},
    {"Left", 2, 2, leftValue},
    {"Len", 1, 1, lenValue},
    {"LTrim", 1, 1, trimValue<true, false>},
    {"Mid", 2, 3, midValue},
    {"Right", 2, 2, rightValue},
    {"Round", 1, 2, roundValue},
    {"RTrim", 1, 1, trimValue<false, true>},
    {"Trim", 1, 1, trimValue<true, true>},
    {"UCase", 1, 1, changeCase<true>},
}};

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

const FunctionDef* findFunction(std::string_view name) {
    for (const FunctionDef& f : kFunctions) {
        if (sameName(f.name, name)) return &f;
    }
    return nullptr;
}

}  // namespace jet::values
