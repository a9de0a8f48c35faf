#include "jet/values/arithmetic.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "jet/values/date_time.h"
#include "jet/values/decimal_math.h"
#include "jet/values/value_rules.h"

namespace jet::values {

namespace {

__extension__ using I128 = __int128;

enum class Op { Add, Subtract, Multiply };

// Whole-number ranks: Byte, Integer, Long, BigInt.
constexpr int kByte = 0;
constexpr int kInteger = 1;
constexpr int kLong = 2;
constexpr int kBigInt = 3;

int integerRank(const Value& v) {
    if (std::holds_alternative<std::uint8_t>(v)) return kByte;
    if (std::holds_alternative<std::int16_t>(v)) return kInteger;
    if (std::holds_alternative<std::int32_t>(v)) return kLong;
    if (std::holds_alternative<std::int64_t>(v)) return kBigInt;
    return -1;
}

std::int64_t integerValue(const Value& v) {
    switch (integerRank(v)) {
        case kByte:
            return std::get<std::uint8_t>(v);
        case kInteger:
            return std::get<std::int16_t>(v);
        case kLong:
            return std::get<std::int32_t>(v);
        default:
            return std::get<std::int64_t>(v);
    }
}

// The smallest whole-number type at or above `rank` that holds x; Double past BigInt's range,
// or past Long's when `longWidensToDouble` (the arithmetic rule), else an overflow.
Value fitInteger(I128 x, int rank, bool longWidensToDouble = true) {
    if (rank <= kByte && x >= 0 && x <= 255) return static_cast<std::uint8_t>(x);
    if (rank <= kInteger && x >= INT16_MIN && x <= INT16_MAX) return static_cast<std::int16_t>(x);
    if (rank <= kLong && x >= INT32_MIN && x <= INT32_MAX) return static_cast<std::int32_t>(x);
    if ((rank == kBigInt || !longWidensToDouble) && x >= INT64_MIN && x <= INT64_MAX) {
        return static_cast<std::int64_t>(x);
    }
    if (!longWidensToDouble) throwFault(ErrorCode::Overflow, "the result is too large");
    return static_cast<double>(x);
}

// The operand as arithmetic sees it: Yes/No as Integer -1/0, Date/Time Extended as Date/Time,
// text as a Double (a Decimal when the other operand is one).
Value operand(const Value& v, bool decimalContext) {
    if (const auto* b = std::get_if<bool>(&v)) return static_cast<std::int16_t>(*b ? -1 : 0);
    if (const auto* e = std::get_if<DateTimeExtended>(&v)) return dateFromExtended(*e);
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (decimalContext) {
            std::optional<Decimal> d;
            try {
                std::string_view t = *s;
                while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
                while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
                d = parseDecimal(t);
            } catch (const DecimalOverflow&) {
                throwFault(ErrorCode::Overflow, describeValue(v) + " is too large for a Decimal");
            }
            if (d) return *d;
        }
        return toDouble(v);  // throws TypeMismatch for text that is no number
    }
    if (isNumber(v)) return v;
    throwFault(ErrorCode::TypeMismatch, describeValue(v) + " is not a number");
}

Decimal toDecimal(const Value& v) {
    if (const auto* d = std::get_if<Decimal>(&v)) return *d;
    if (const auto* c = std::get_if<Currency>(&v)) return decimalFromCurrency(*c);
    if (const auto* f = std::get_if<float>(&v)) {
        // The Single's own shortest digits: 1.1 stays 1.1, not 1.10000002384.
        return *parseDecimal(formatSingle(*f));
    }
    if (integerRank(v) >= 0) return decimalFromInteger(integerValue(v));
    return decimalFromDouble(toDouble(v), kDoubleToDecimalDigits);
}

Value doubleResult(double r) {
    if (!std::isfinite(r)) throwFault(ErrorCode::Overflow, "the result is too large for a Double");
    return r + 0.0;  // -0 becomes 0: Access shows and stores no negative zero
}

Value dateResult(double serial) {
    if (!dateInRange(serial)) {
        throwFault(ErrorCode::Overflow, "the resulting date is outside the years 100 to 9999");
    }
    return DateTime{serial};
}

double apply(Op op, double a, double b) {
    switch (op) {
        case Op::Add:
            return a + b;
        case Op::Subtract:
            return a - b;
        case Op::Multiply:
            return a * b;
    }
    return 0;
}

Value dateArithmetic(Op op, const Value& a, const Value& b) {
    const bool aDate = std::holds_alternative<DateTime>(a);
    const bool bDate = std::holds_alternative<DateTime>(b);
    if (op == Op::Multiply) return doubleResult(toDouble(a) * toDouble(b));
    if (op == Op::Subtract && aDate && bDate) {
        return dateToLinear(toDouble(a)) - dateToLinear(toDouble(b));
    }
    if (aDate) return dateResult(dateFromLinear(apply(op, dateToLinear(toDouble(a)), toDouble(b))));
    if (op == Op::Add) return dateResult(dateFromLinear(toDouble(a) + dateToLinear(toDouble(b))));
    return dateResult(toDouble(a) - toDouble(b));  // number - date: plain serial arithmetic
}

Value currencyArithmetic(Op op, const Value& a, const Value& b) {
    // Both in units of 1/10000 except that a product of two Currencies has 8 places.
    const bool aCurrency = std::holds_alternative<Currency>(a);
    const bool bCurrency = std::holds_alternative<Currency>(b);
    const I128 x = aCurrency ? I128{std::get<Currency>(a).scaled} : I128{integerValue(a)};
    const I128 y = bCurrency ? I128{std::get<Currency>(b).scaled} : I128{integerValue(b)};
    I128 r = 0;
    switch (op) {
        case Op::Add:
        case Op::Subtract: {
            const I128 xs = aCurrency ? x : x * 10000;
            const I128 ys = bCurrency ? y : y * 10000;
            r = op == Op::Add ? xs + ys : xs - ys;
            break;
        }
        case Op::Multiply:
            if (aCurrency && bCurrency) {
                const auto product =
                    currencyProduct(std::get<Currency>(a).scaled, std::get<Currency>(b).scaled);
                if (!product)
                    throwFault(ErrorCode::Overflow, "the result is too large for a Currency");
                return Currency{*product};
            }
            r = x * y;
            break;
    }
    if (r < INT64_MIN || r > INT64_MAX) {
        throwFault(ErrorCode::Overflow, "the result is too large for a Currency");
    }
    return Currency{static_cast<std::int64_t>(r)};
}

Value decimalArithmetic(Op op, const Value& a, const Value& b) {
    try {
        const Decimal x = toDecimal(a);
        const Decimal y = toDecimal(b);
        switch (op) {
            case Op::Add:
                return decimalAdd(x, y);
            case Op::Subtract:
                return decimalSubtract(x, y);
            case Op::Multiply:
                return decimalMultiply(x, y);
        }
    } catch (const DecimalOverflow&) {
    }
    throwFault(ErrorCode::Overflow, "the result is too large for a Decimal");
}

Value numericArithmetic(Op op, const Value& a, const Value& b) {
    if (std::holds_alternative<DateTime>(a) || std::holds_alternative<DateTime>(b)) {
        return dateArithmetic(op, a, b);
    }
    if (std::holds_alternative<Decimal>(a) || std::holds_alternative<Decimal>(b)) {
        return decimalArithmetic(op, a, b);
    }
    const bool aSingle = std::holds_alternative<float>(a);
    const bool bSingle = std::holds_alternative<float>(b);
    const bool aCurrency = std::holds_alternative<Currency>(a);
    const bool bCurrency = std::holds_alternative<Currency>(b);
    if (std::holds_alternative<double>(a) || std::holds_alternative<double>(b) ||
        ((aSingle || bSingle) && (aCurrency || bCurrency))) {
        return doubleResult(apply(op, toDouble(a), toDouble(b)));
    }
    if (aCurrency || bCurrency) return currencyArithmetic(op, a, b);
    if (aSingle || bSingle) {
        const double r = apply(op, toDouble(a), toDouble(b));
        if (integerRank(a) >= kLong || integerRank(b) >= kLong) return doubleResult(r);
        if (std::fabs(r) <= std::numeric_limits<float>::max()) return static_cast<float>(r);
        return doubleResult(r);
    }
    const I128 x = integerValue(a);
    const I128 y = integerValue(b);
    const int rank = std::max(integerRank(a), integerRank(b));
    switch (op) {
        case Op::Add:
            return fitInteger(x + y, rank);
        case Op::Subtract:
            return fitInteger(x - y, rank);
        case Op::Multiply:
            break;
    }
    return fitInteger(x * y, rank);  // two int64 factors stay below 2^126
}

Value arithmetic(Op op, const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    const bool decimalContext =
        std::holds_alternative<Decimal>(a) || std::holds_alternative<Decimal>(b);
    return numericArithmetic(op, operand(a, decimalContext), operand(b, decimalContext));
}

// Result rank of "\" and Mod: Byte or Integer when both operands are, BigInt when either is.
int wholeDivisionRank(const Value& a, const Value& b) {
    const int ra = integerRank(a);
    const int rb = integerRank(b);
    if (ra == kBigInt || rb == kBigInt) return kBigInt;
    if (ra >= 0 && rb >= 0) return std::max(ra, rb);
    return kLong;
}

}  // namespace

namespace {

// Two Longs whose result is a Long, as the general rules would give it, without their detour:
// the wizard's statements on Long fields, a row at a time.
std::optional<std::int32_t> longResult(Op op, const Value& a, const Value& b) {
    const auto* x = std::get_if<std::int32_t>(&a);
    const auto* y = std::get_if<std::int32_t>(&b);
    if (x == nullptr || y == nullptr) return std::nullopt;
    const std::int64_t r = op == Op::Add        ? std::int64_t{*x} + *y
                           : op == Op::Subtract ? std::int64_t{*x} - *y
                                                : std::int64_t{*x} * *y;
    if (r < INT32_MIN || r > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(r);
}

}  // namespace

Value add(const Value& a, const Value& b) {
    if (const auto r = longResult(Op::Add, a, b)) return *r;
    const auto* ta = std::get_if<std::string>(&a);
    const auto* tb = std::get_if<std::string>(&b);
    if (ta && tb) return *ta + *tb;
    return arithmetic(Op::Add, a, b);
}

Value subtract(const Value& a, const Value& b) {
    if (const auto r = longResult(Op::Subtract, a, b)) return *r;
    return arithmetic(Op::Subtract, a, b);
}

Value multiply(const Value& a, const Value& b) {
    if (const auto r = longResult(Op::Multiply, a, b)) return *r;
    return arithmetic(Op::Multiply, a, b);
}

Value divide(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    const bool decimalContext =
        std::holds_alternative<Decimal>(a) || std::holds_alternative<Decimal>(b);
    const Value x = operand(a, decimalContext);
    const Value y = operand(b, decimalContext);
    if (decimalContext) {
        const Decimal divisor = [&] {
            try {
                return toDecimal(y);
            } catch (const DecimalOverflow&) {
                throwFault(ErrorCode::Overflow, describeValue(b) + " is too large for a Decimal");
            }
        }();
        if (decimalIsZero(divisor)) throwFault(ErrorCode::DivisionByZero, "division by zero");
        try {
            return decimalDivide(toDecimal(x), divisor);
        } catch (const DecimalOverflow&) {
            throwFault(ErrorCode::Overflow, "the result is too large for a Decimal");
        }
    }
    const double divisor = toDouble(y);
    if (divisor == 0) throwFault(ErrorCode::DivisionByZero, "division by zero");
    return doubleResult(toDouble(x) / divisor);
}

Value integerDivide(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    const Value x = operand(a, false);
    const Value y = operand(b, false);
    const std::int64_t divisor = wholeNumber(y);
    if (divisor == 0) throwFault(ErrorCode::DivisionByZero, "division by zero");
    return fitInteger(I128{wholeNumber(x)} / divisor, wholeDivisionRank(x, y), false);
}

Value modulo(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    const Value x = operand(a, false);
    const Value y = operand(b, false);
    const std::int64_t divisor = wholeNumber(y);
    if (divisor == 0) throwFault(ErrorCode::DivisionByZero, "division by zero");
    // C++ remainders take the sign of the dividend, as Mod does.
    return fitInteger(I128{wholeNumber(x)} % divisor, wholeDivisionRank(x, y), false);
}

Value power(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Null{};
    const double base = toDouble(operand(a, false));
    const double exponent = toDouble(operand(b, false));
    if (base == 0 && exponent < 0) throwFault(ErrorCode::DivisionByZero, "division by zero");
    const double r = std::pow(base, exponent);
    if (std::isnan(r)) {
        throwFault(ErrorCode::Overflow, "a negative number to a fractional power is not a number");
    }
    return doubleResult(r);
}

Value negate(const Value& v) {
    if (isNull(v)) return Null{};
    const Value x = operand(v, false);
    if (integerRank(x) >= 0) {
        return fitInteger(-I128{integerValue(x)}, std::max(integerRank(x), kInteger));
    }
    if (const auto* f = std::get_if<float>(&x)) return 0.0f - *f;  // 0 - x: no negative zero
    if (const auto* d = std::get_if<double>(&x)) return 0.0 - *d;
    if (const auto* d = std::get_if<Decimal>(&x)) return decimalNegate(*d);
    if (const auto* t = std::get_if<DateTime>(&x)) return dateResult(-t->days);
    const Currency c = std::get<Currency>(x);
    if (c.scaled == INT64_MIN) {
        throwFault(ErrorCode::Overflow, "the result is too large for a Currency");
    }
    return Currency{-c.scaled};
}

Value concatenate(const Value& a, const Value& b) {
    if (isNull(a) && isNull(b)) return Null{};
    return textOf(a) + textOf(b);
}

double roundHalfEven(double x) {
    const double f = std::floor(x);
    const double diff = x - f;
    if (diff > 0.5) return f + 1;
    if (diff < 0.5) return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

std::int64_t currencyToWhole(std::int64_t scaled) {
    std::int64_t whole = scaled / 10000;
    const std::int64_t rest = scaled % 10000;  // the sign of `scaled`
    if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
    if (rest < -5000 || (rest == -5000 && whole % 2 != 0)) --whole;
    return whole;
}

std::optional<std::int64_t> currencyProduct(std::int64_t a, std::int64_t b) {
    const I128 r = I128{a} * I128{b};
    // Round the four extra places half to even.
    I128 q = r / 10000;
    const I128 rem = r % 10000;
    const I128 absRem = rem < 0 ? -rem : rem;
    if (absRem > 5000 || (absRem == 5000 && q % 2 != 0)) q += r < 0 ? -1 : 1;
    if (q < INT64_MIN || q > INT64_MAX) return std::nullopt;
    return static_cast<std::int64_t>(q);
}

std::int64_t wholeNumber(const Value& v) {
    const Value x = operand(v, false);
    if (integerRank(x) >= 0) return integerValue(x);
    if (const auto* d = std::get_if<Decimal>(&x)) {
        if (const auto whole = decimalToInteger(*d)) return *whole;
        throwFault(ErrorCode::Overflow, describeValue(v) + " is too large for a whole number");
    }
    if (const auto* c = std::get_if<Currency>(&x)) return currencyToWhole(c->scaled);
    const double r = roundHalfEven(toDouble(x));
    // 2^63 is the first double past int64; every double below it converts exactly.
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) {
        throwFault(ErrorCode::Overflow, describeValue(v) + " is too large for a whole number");
    }
    return static_cast<std::int64_t>(r);
}

}  // namespace jet::values
