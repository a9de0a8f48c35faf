// Arithmetic on Access Decimal values: a sign, a 96-bit magnitude and a scale of 0 to 28, as
// VBA's Decimal subtype holds them. Every operation computes the exact result in a wider integer
// first and then rounds it, half to even, to the most digits that fit, so results carry the full
// 28 to 29 digits and are never rounded twice.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "jet/base/value.h"

namespace jet::values {

// Thrown when a result's whole-number part needs more than 96 bits (about 7.9E+28); the
// evaluator turns it into Error(Overflow) naming the expression.
struct DecimalOverflow {};

enum class Rounding : std::uint8_t { HalfEven, TowardZero, Down };

constexpr int kMaxDecimalScale = 28;

Decimal decimalFromInteger(std::int64_t v);
Decimal decimalFromCurrency(Currency v);
// The double's shortest round-trip decimal text, read as a Decimal: 0.1 is exactly 0.1, not the
// binary fraction nearest to it. Digits past scale 28 are rounded away. Throws DecimalOverflow.
Decimal decimalFromDouble(double v);
// The significant digits Access keeps when a Double becomes a Decimal (storing, CDec, arithmetic).
constexpr int kDoubleToDecimalDigits = 15;
// The double's exact binary value rounded once, half to even, to `significantDigits` (1 to 17)
// digits, without trailing fraction zeros: 0.1 + 0.2 gives 0.3 at 15. Digits past scale 28 are
// rounded away. Throws DecimalOverflow.
Decimal decimalFromDouble(double v, int significantDigits);
double decimalToDouble(const Decimal& v);

// Plain or exponent notation: "-12.5", "1e3", ".25", "+7". Blanks are not skipped. Null when the
// text is not such a number; throws DecimalOverflow when it is one too large for a Decimal.
std::optional<Decimal> parseDecimal(std::string_view text);

Decimal decimalAdd(const Decimal& a, const Decimal& b);
Decimal decimalSubtract(const Decimal& a, const Decimal& b);
Decimal decimalMultiply(const Decimal& a, const Decimal& b);
// The divisor must not be zero (the caller reports division by zero with its own context).
Decimal decimalDivide(const Decimal& a, const Decimal& b);
Decimal decimalNegate(const Decimal& v);
int decimalCompare(const Decimal& a, const Decimal& b);  // <0, 0, >0
bool decimalIsZero(const Decimal& v);

// The value with at most `scale` decimals; values already that short are returned unchanged.
Decimal decimalRound(const Decimal& v, int scale, Rounding mode = Rounding::HalfEven);
// The whole number the value rounds to (half to even); null outside the range of int64.
std::optional<std::int64_t> decimalToInteger(const Decimal& v);
// Digits of the magnitude at its scale, e.g. 12.50 at scale 2 has 4; 0 has 1.
int decimalDigits(const Decimal& v);

}  // namespace jet::values
