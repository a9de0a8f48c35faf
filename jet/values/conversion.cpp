// The storing rules: convertToType does the conversion, convertForColumn adds the column's own
// limits (text length, Decimal precision) and names the column in every error.
#include "jet/values/conversion.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "jet/base/error.h"
#include "jet/values/arithmetic.h"
#include "jet/values/date_time.h"
#include "jet/values/decimal_math.h"
#include "jet/values/value_rules.h"

namespace jet::values {

namespace {

__extension__ using I128 = __int128;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Text that is a plain decimal number ("7", "-12.50", "+0.375"): a sign, 1 to 18 digits with
// one point among them, nothing else (spaces and tabs around it aside). Its digits without the
// point, and how many of them follow it. The usual case of an imported file, which the storing
// rules turn into Long, Currency or Double straight from these digits: the same value they give
// through an exact Decimal.
struct PlainNumber {
    bool negative = false;
    std::uint64_t digits = 0;
    int scale = 0;
    std::string_view unsigned_text;  // the digits and point, as written
};
std::optional<PlainNumber> plainNumber(std::string_view text) {
    std::string_view s = trimmed(text);
    PlainNumber n;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        n.negative = s.front() == '-';
        s.remove_prefix(1);
    }
    n.unsigned_text = s;
    int count = 0;
    bool point = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.' && !point && i > 0 && i + 1 < s.size()) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9' || ++count > 18) return std::nullopt;
        n.digits = n.digits * 10 + static_cast<std::uint64_t>(c - '0');
        if (point) ++n.scale;
    }
    if (count == 0) return std::nullopt;
    return n;
}

// The storing rules for plain decimal text, where they need no rounding and nothing is out of
// range; null for the general way (which also words the errors).
std::optional<Value> plainNumberAs(const std::string& text, ColumnType type) {
    const std::optional<PlainNumber> n = plainNumber(text);
    if (!n) return std::nullopt;
    const auto signedValue = [&](std::uint64_t magnitude) -> std::optional<std::int64_t> {
        if (magnitude > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        const auto m = static_cast<std::int64_t>(magnitude);
        return n->negative ? -m : m;
    };
    switch (type) {
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::BigInt: {
            if (n->scale != 0) return std::nullopt;  // rounds
            const auto x = signedValue(n->digits);
            const auto range = type == ColumnType::Byte
                                   ? std::pair<std::int64_t, std::int64_t>{0, 255}
                               : type == ColumnType::Integer
                                   ? std::pair<std::int64_t, std::int64_t>{INT16_MIN, INT16_MAX}
                               : type == ColumnType::Long
                                   ? std::pair<std::int64_t, std::int64_t>{INT32_MIN, INT32_MAX}
                                   : std::pair<std::int64_t, std::int64_t>{INT64_MIN, INT64_MAX};
            if (!x || *x < range.first || *x > range.second) return std::nullopt;
            switch (type) {
                case ColumnType::Byte:
                    return Value{static_cast<std::uint8_t>(*x)};
                case ColumnType::Integer:
                    return Value{static_cast<std::int16_t>(*x)};
                case ColumnType::Long:
                    return Value{static_cast<std::int32_t>(*x)};
                default:
                    return Value{*x};
            }
        }
        case ColumnType::Currency: {
            if (n->scale > 4) return std::nullopt;  // rounds
            std::uint64_t scaled = n->digits;
            for (int s = n->scale; s < 4; ++s) {
                if (__builtin_mul_overflow(scaled, 10u, &scaled)) return std::nullopt;
            }
            const auto x = signedValue(scaled);
            if (!x) return std::nullopt;
            return Value{Currency{*x}};
        }
        case ColumnType::Double: {
            // Zero keeps the general way's sign; every other value of at most 18 digits is
            // exact as a Decimal, and rounds to the same Double from its digits.
            if (n->digits == 0) return std::nullopt;
            double d = 0;
            const char* end = n->unsigned_text.data() + n->unsigned_text.size();
            const auto result = std::from_chars(n->unsigned_text.data(), end, d);
            if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
            return Value{n->negative ? -d : d};
        }
        default:
            return std::nullopt;
    }
}

[[noreturn]] void notANumber(const Value& v, const char* what) {
    throwFault(ErrorCode::TypeMismatch, describeValue(v) + " is not " + what);
}

[[noreturn]] void tooLarge(const Value& v, ColumnType type) {
    throwFault(ErrorCode::Overflow,
               describeValue(v) + " is outside the range of " + columnTypeName(type));
}

// A number as an exact Decimal where it can be one: text keeps all its digits, a Double its
// shortest digits. Values too large for a Decimal come back as a Double.
Value exactNumber(const Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) {
        try {
            if (const auto d = parseDecimal(trimmed(*s))) return *d;
        } catch (const DecimalOverflow&) {
        }
        if (const auto n = parseNumberText(*s)) return *n;
        notANumber(v, "a number");
    }
    if (const auto* e = std::get_if<DateTimeExtended>(&v)) return dateFromExtended(*e).days;
    if (const auto* t = std::get_if<DateTime>(&v)) return t->days;
    if (!isNumber(v)) notANumber(v, "a number");
    return v;
}

Decimal decimalOf(const Value& number, const Value& original, ColumnType type) {
    if (const auto* d = std::get_if<Decimal>(&number)) return *d;
    if (const auto* c = std::get_if<Currency>(&number)) return decimalFromCurrency(*c);
    if (const auto* f = std::get_if<float>(&number)) return *parseDecimal(formatSingle(*f));
    if (std::holds_alternative<double>(number)) {
        // Text is read as a Double only when it is too large for a Decimal, which its Double's
        // 15 digits might round back into range.
        if (type == ColumnType::Decimal && std::holds_alternative<std::string>(original)) {
            tooLarge(original, type);
        }
        // Access turns a Double into a Decimal with 15 significant digits; Currency rounds the
        // Double's own digits to its four places.
        try {
            const double x = std::get<double>(number);
            return type == ColumnType::Decimal ? decimalFromDouble(x, kDoubleToDecimalDigits)
                                               : decimalFromDouble(x);
        } catch (const DecimalOverflow&) {
            tooLarge(original, type);
        }
    }
    if (const auto* b = std::get_if<bool>(&number)) return decimalFromInteger(*b ? -1 : 0);
    return decimalFromInteger(wholeNumber(number));
}

Value wholeNumberAs(const Value& v, ColumnType type) {
    const Value n = exactNumber(v);
    std::int64_t x = 0;
    try {
        x = wholeNumber(n);
    } catch (const ValueFault&) {
        tooLarge(v, type);
    }
    switch (type) {
        case ColumnType::Byte:
            if (x >= 0 && x <= 255) return static_cast<std::uint8_t>(x);
            break;
        case ColumnType::Integer:
            if (x >= INT16_MIN && x <= INT16_MAX) return static_cast<std::int16_t>(x);
            break;
        case ColumnType::Long:
            if (x >= INT32_MIN && x <= INT32_MAX) return static_cast<std::int32_t>(x);
            break;
        default:
            return x;
    }
    tooLarge(v, type);
}

Value currencyOf(const Value& v) {
    const Decimal d = decimalRound(decimalOf(exactNumber(v), v, ColumnType::Currency), 4);
    I128 scaled = static_cast<I128>(d.magnitude);  // below 2^96 * 10^4: no overflow
    for (int s = d.scale; s < 4; ++s) scaled *= 10;
    if (d.negative) scaled = -scaled;
    if (scaled < INT64_MIN || scaled > INT64_MAX) tooLarge(v, ColumnType::Currency);
    return Currency{static_cast<std::int64_t>(scaled)};
}

Value decimalShaped(const Value& v, DecimalShape shape) {
    if (shape.ownScale) {
        Decimal d = decimalOf(exactNumber(v), v, ColumnType::Decimal);
        const int excess = decimalDigits(d) - shape.precision;
        if (excess > 0) d = decimalRound(d, std::max(0, d.scale - excess));
        if (decimalDigits(d) > shape.precision) tooLarge(v, ColumnType::Decimal);
        return d;
    }
    Decimal d = decimalRound(decimalOf(exactNumber(v), v, ColumnType::Decimal), shape.scale);
    for (int s = d.scale; s < shape.scale; ++s) {
        if (decimalDigits(d) >= shape.precision) tooLarge(v, ColumnType::Decimal);
        d.magnitude *= 10;
        ++d.scale;
    }
    if (d.magnitude != 0 && decimalDigits(d) > shape.precision) tooLarge(v, ColumnType::Decimal);
    return d;
}

double dateSerialOf(const Value& v) {
    if (const auto* t = std::get_if<DateTime>(&v)) return t->days;
    if (const auto* e = std::get_if<DateTimeExtended>(&v)) return dateFromExtended(*e).days;
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (const auto serial = parseDateText(*s)) return *serial;
        notANumber(v, "a date");
    }
    if (!isNumber(v)) notANumber(v, "a date");
    const double serial = toDouble(v);
    if (!dateInRange(serial)) tooLarge(v, ColumnType::DateTime);
    return serial;
}

std::optional<Guid> parseGuid(std::string_view text) {
    text = trimmed(text);
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) return std::nullopt;
    std::array<std::uint8_t, 16> raw{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            continue;
        }
        const char c = text[i];
        int nibble = -1;
        if (c >= '0' && c <= '9') nibble = c - '0';
        if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        if (nibble < 0) return std::nullopt;
        raw[n / 2] = static_cast<std::uint8_t>(raw[n / 2] << 4 | nibble);
        ++n;
    }
    // The first three groups are stored little-endian.
    Guid g;
    g.bytes = raw;
    std::swap(g.bytes[0], g.bytes[3]);
    std::swap(g.bytes[1], g.bytes[2]);
    std::swap(g.bytes[4], g.bytes[5]);
    std::swap(g.bytes[6], g.bytes[7]);
    return g;
}

// Characters as Access counts them for Text: UTF-16 code units.
std::size_t utf16Units(std::string_view s) {
    std::size_t units = 0;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
    }
    return units;
}

std::size_t codePointCount(std::string_view s) {
    std::size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

std::string columnLabel(const ColumnDef& column) {
    return "field '" + column.name + "' (" + columnTypeName(column.type) + ")";
}

}  // namespace

Value convertToType(const Value& v, ColumnType type, DecimalShape shape) {
    if (const auto* text = std::get_if<std::string>(&v)) {
        if (std::optional<Value> n = plainNumberAs(*text, type)) return *std::move(n);
    }
    switch (type) {
        case ColumnType::YesNo:
            return toBoolean(v);
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::BigInt:
            return wholeNumberAs(v, type);
        case ColumnType::Single: {
            const double d = toDouble(exactNumber(v));
            if (std::fabs(d) > std::numeric_limits<float>::max()) tooLarge(v, type);
            return static_cast<float>(d);
        }
        case ColumnType::Double:
            return toDouble(exactNumber(v));
        case ColumnType::Currency:
            return currencyOf(v);
        case ColumnType::Decimal:
            return decimalShaped(v, shape);
        case ColumnType::DateTime:
            return DateTime{dateSerialOf(v)};
        case ColumnType::DateTimeExtended:
            if (const auto* e = std::get_if<DateTimeExtended>(&v)) return *e;
            return extendedFromDate(DateTime{dateSerialOf(v)});
        case ColumnType::Text:
        case ColumnType::Memo:
            return textOf(v);
        case ColumnType::Binary:
        case ColumnType::OLE:
            if (std::holds_alternative<Bytes>(v)) return v;
            notANumber(v, "binary data");
        case ColumnType::GUID:
            if (std::holds_alternative<Guid>(v)) return v;
            if (const auto* s = std::get_if<std::string>(&v)) {
                if (const auto g = parseGuid(*s)) return *g;
            }
            notANumber(v, "a GUID");
        case ColumnType::Complex:
            break;
    }
    throwFault(ErrorCode::NotUpdatable, "attachments and multi-valued fields cannot be set");
}

Value convertForColumn(const Value& value, const ColumnDef& column, Version version) {
    if (isNull(value)) return column.type == ColumnType::YesNo ? Value{false} : Value{Null{}};
    // A whole number or Currency value of the column's own type is stored as it is.
    if ((column.type == ColumnType::Long && std::holds_alternative<std::int32_t>(value)) ||
        (column.type == ColumnType::Integer && std::holds_alternative<std::int16_t>(value)) ||
        (column.type == ColumnType::Byte && std::holds_alternative<std::uint8_t>(value)) ||
        (column.type == ColumnType::Currency && std::holds_alternative<Currency>(value))) {
        return value;
    }
    Value stored;
    try {
        DecimalShape shape;
        if (column.type == ColumnType::Decimal && column.calculated) {
            shape.ownScale = true;
        } else if (column.type == ColumnType::Decimal) {
            shape.precision =
                column.precision >= 1 && column.precision <= 28 ? column.precision : 28;
            shape.scale = column.scale <= shape.precision ? column.scale : 0;
        }
        stored = convertToType(value, column.type, shape);
    } catch (const ValueFault& f) {
        switch (f.code) {
            case ErrorCode::Overflow:
                throw Error(ErrorCode::Overflow, "The value " + describeValue(value) +
                                                     " does not fit " + columnLabel(column) + ".")
                    .about({}, {}, column.name);
            case ErrorCode::NotUpdatable:
                throw Error(ErrorCode::NotUpdatable,
                            "Cannot update " + columnLabel(column) + ": " + f.detail + ".")
                    .about({}, {}, column.name);
            default:
                throw Error(f.code, "Type mismatch storing into " + columnLabel(column) + ": " +
                                        f.detail + ".")
                    .about({}, {}, column.name);
        }
    }
    const auto* text = std::get_if<std::string>(&stored);
    if (column.type == ColumnType::Text && text) {
        const bool jet3 = version == Version::Jet3;
        const std::size_t bytes = jet3 ? codePointCount(*text) : 2 * utf16Units(*text);
        // A calculated column's size counts the wrapper around its result as well.
        const std::size_t size =
            column.calculated
                ? column.size - std::min<std::size_t>(column.size, kCalculatedWrapperSize)
                : column.size;
        if (column.size != 0 && bytes > size) {
            const std::size_t capacity = jet3 ? size : size / 2u;
            throw Error(ErrorCode::ValueTooLong, "The value " + describeValue(value) +
                                                     " is too long for " + columnLabel(column) +
                                                     ", which holds " + std::to_string(capacity) +
                                                     " characters.")
                .about({}, {}, column.name);
        }
    }
    const auto* bytes = std::get_if<Bytes>(&stored);
    if (column.type == ColumnType::Binary && bytes && column.size != 0 &&
        bytes->size() > column.size) {
        throw Error(ErrorCode::ValueTooLong, "The value " + describeValue(value) +
                                                 " is too long for " + columnLabel(column) +
                                                 ", which holds " + std::to_string(column.size) +
                                                 " bytes.")
            .about({}, {}, column.name);
    }
    return stored;
}

Value convertForColumn(const Value& value, const ColumnDef& column) {
    return convertForColumn(value, column, column.codePage != 0 ? Version::Jet3 : Version::Jet4);
}

}  // namespace jet::values
