#include "jet/values/decimal_math.h"

#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace jet::values {

namespace {

__extension__ using U128 = unsigned __int128;
__extension__ using I128 = __int128;

// An unsigned 256-bit integer: wide enough for the exact product of two Decimals (192 bits),
// for two Decimals aligned to a common scale, and for a dividend scaled up by 10^28 or more.
class Wide {
public:
    Wide() = default;
    explicit Wide(U128 v)
        : limb_{static_cast<std::uint64_t>(v), static_cast<std::uint64_t>(v >> 64), 0, 0} {}

    static Wide product(U128 a, U128 b) {
        const std::uint64_t x[2] = {static_cast<std::uint64_t>(a),
                                    static_cast<std::uint64_t>(a >> 64)};
        const std::uint64_t y[2] = {static_cast<std::uint64_t>(b),
                                    static_cast<std::uint64_t>(b >> 64)};
        Wide r;
        for (int i = 0; i < 2; ++i) {
            U128 carry = 0;
            for (int j = 0; j < 2; ++j) {
                const U128 t = U128{x[i]} * y[j] + r.limb_[i + j] + carry;
                r.limb_[i + j] = static_cast<std::uint64_t>(t);
                carry = t >> 64;
            }
            r.limb_[i + 2] = static_cast<std::uint64_t>(carry);
        }
        return r;
    }

    bool isZero() const { return (limb_[0] | limb_[1] | limb_[2] | limb_[3]) == 0; }
    bool isOdd() const { return (limb_[0] & 1) != 0; }
    bool fitsDecimal() const { return limb_[3] == 0 && limb_[2] == 0 && limb_[1] >> 32 == 0; }
    U128 low() const { return (U128{limb_[1]} << 64) | limb_[0]; }

    // False when the product no longer fits; the value is then unusable.
    bool multiplySmall(std::uint64_t m) {
        U128 carry = 0;
        for (auto& l : limb_) {
            const U128 t = U128{l} * m + carry;
            l = static_cast<std::uint64_t>(t);
            carry = t >> 64;
        }
        return carry == 0;
    }

    bool multiplyPow10(int n) {
        for (; n > 0; n -= 19) {
            if (!multiplySmall(pow10Small(n < 19 ? n : 19))) return false;
        }
        return true;
    }

    // Divides in place and returns the remainder.
    std::uint64_t divideSmall(std::uint64_t d) {
        U128 rem = 0;
        for (int i = 3; i >= 0; --i) {
            const U128 cur = (rem << 64) | limb_[i];
            limb_[i] = static_cast<std::uint64_t>(cur / d);
            rem = cur % d;
        }
        return static_cast<std::uint64_t>(rem);
    }

    // Divides in place by a divisor below 2^127 and returns the remainder (bit by bit: the
    // divisor of a Decimal division is at most 96 bits, so the remainder never overflows).
    U128 divide(U128 d) {
        U128 rem = 0;
        for (int i = 255; i >= 0; --i) {
            const int limb = i / 64;
            const int bit = i % 64;
            rem = (rem << 1) | ((limb_[limb] >> bit) & 1);
            limb_[limb] &= ~(std::uint64_t{1} << bit);
            if (rem >= d) {
                rem -= d;
                limb_[limb] |= std::uint64_t{1} << bit;
            }
        }
        return rem;
    }

    void add(const Wide& o) {
        std::uint64_t carry = 0;
        for (int i = 0; i < 4; ++i) {
            const U128 t = U128{limb_[i]} + o.limb_[i] + carry;
            limb_[i] = static_cast<std::uint64_t>(t);
            carry = static_cast<std::uint64_t>(t >> 64);
        }
    }

    // Requires *this >= o.
    void subtract(const Wide& o) {
        std::uint64_t borrow = 0;
        for (int i = 0; i < 4; ++i) {
            const U128 t = U128{limb_[i]} - o.limb_[i] - borrow;
            limb_[i] = static_cast<std::uint64_t>(t);
            borrow = (t >> 64) != 0 ? 1 : 0;
        }
    }

    int compare(const Wide& o) const {
        for (int i = 3; i >= 0; --i) {
            if (limb_[i] != o.limb_[i]) return limb_[i] < o.limb_[i] ? -1 : 1;
        }
        return 0;
    }

    static std::uint64_t pow10Small(int n) {
        std::uint64_t p = 1;
        for (int i = 0; i < n; ++i) p *= 10;
        return p;
    }

private:
    std::array<std::uint64_t, 4> limb_{};
};

// What lies below the last digit of an exact result, when the result itself is not exact.
enum class Tail : std::uint8_t { Zero, BelowHalf, Half, AboveHalf };

// Rounds an exact result (magnitude * 10^-scale, plus `tail` below its last digit) to a Decimal:
// as few digits are dropped as make the magnitude fit 96 bits and the scale fit `maxScale`. A
// negative scale (a dividend scaled by less than the divisor's scale) is multiplied out.
Decimal finish(Wide magnitude, int scale, bool negative, Tail tail = Tail::Zero,
               int maxScale = kMaxDecimalScale, Rounding mode = Rounding::HalfEven) {
    // The first digit below the result and whether anything nonzero lies below that; the tail
    // stands in for that digit until real digits are dropped.
    std::uint64_t roundingDigit = tail == Tail::AboveHalf ? 6
                                  : tail == Tail::Half    ? 5
                                  : tail == Tail::Zero    ? 0
                                                          : 1;
    bool sticky = false;
    auto dropDigit = [&] {
        sticky = sticky || roundingDigit != 0;
        roundingDigit = magnitude.divideSmall(10);
        --scale;
    };
    while (scale > maxScale) dropDigit();
    while (!magnitude.fitsDecimal()) dropDigit();
    bool up = false;
    switch (mode) {
        case Rounding::HalfEven:
            up = roundingDigit > 5 || (roundingDigit == 5 && (sticky || magnitude.isOdd()));
            break;
        case Rounding::TowardZero:
            break;
        case Rounding::Down:
            up = negative && (roundingDigit != 0 || sticky);
            break;
    }
    if (up) {
        magnitude.add(Wide(1));
        // Only 2^96 - 1 rounded up no longer fits. 2^96 ends in 6, so the value also rounds up
        // one place further, whatever the mode that rounded up here.
        if (!magnitude.fitsDecimal()) {
            magnitude.divideSmall(10);
            magnitude.add(Wide(1));
            --scale;
        }
    }
    if (scale < 0) {
        if (!magnitude.multiplyPow10(-scale) || !magnitude.fitsDecimal()) throw DecimalOverflow{};
        scale = 0;
    }
    Decimal d;
    d.magnitude = magnitude.low();
    d.scale = static_cast<std::uint8_t>(scale);
    d.negative = negative && d.magnitude != 0;
    return d;
}

Decimal stripTrailingZeros(Decimal d) {
    while (d.scale > 0 && d.magnitude % 10 == 0) {
        d.magnitude /= 10;
        --d.scale;
    }
    return d;
}

// Both magnitudes at the larger of the two scales (exact: 96 bits times 10^28 fits in 256).
struct Aligned {
    Wide a;
    Wide b;
    int scale;
};

Aligned align(const Decimal& a, const Decimal& b) {
    Aligned r{Wide(a.magnitude), Wide(b.magnitude), a.scale > b.scale ? a.scale : b.scale};
    r.a.multiplyPow10(r.scale - a.scale);
    r.b.multiplyPow10(r.scale - b.scale);
    return r;
}

Decimal addSigned(const Decimal& a, const Decimal& b, bool negateB) {
    const bool bNegative = negateB ? !b.negative : b.negative;
    Aligned x = align(a, b);
    if (a.negative == bNegative) {
        x.a.add(x.b);
        return finish(x.a, x.scale, a.negative);
    }
    if (x.a.compare(x.b) >= 0) {
        x.a.subtract(x.b);
        return finish(x.a, x.scale, a.negative);
    }
    x.b.subtract(x.a);
    return finish(x.b, x.scale, bNegative);
}

}  // namespace

Decimal decimalFromInteger(std::int64_t v) {
    Decimal d;
    d.negative = v < 0;
    d.magnitude = v < 0 ? static_cast<U128>(-static_cast<I128>(v)) : static_cast<U128>(v);
    return d;
}

Decimal decimalFromCurrency(Currency v) {
    Decimal d = decimalFromInteger(v.scaled);
    d.scale = 4;
    return d;
}

Decimal decimalFromDouble(double v) {
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    const auto parsed = parseDecimal(std::string_view(buf, static_cast<std::size_t>(end - buf)));
    // to_chars writes "inf" and "nan" for values no Decimal can hold.
    if (!parsed) throw DecimalOverflow{};
    return *parsed;
}

Decimal decimalFromDouble(double v, int significantDigits) {
    assert(significantDigits >= 1 && significantDigits <= 17);
    if (!std::isfinite(v)) throw DecimalOverflow{};
    // to_chars with a precision rounds the exact binary value, ties to even; going through the
    // shortest digits first would round twice.
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific,
                                   significantDigits - 1)
                         .ptr;
    return stripTrailingZeros(
        *parseDecimal(std::string_view(buf, static_cast<std::size_t>(end - buf))));
}

double decimalToDouble(const Decimal& v) {
    const std::string text = formatDecimal(v);
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return d;
}

std::optional<Decimal> parseDecimal(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    Wide magnitude;
    long long scale = 0;
    bool anyDigit = false;
    bool inexact = false;
    int significant = 0;
    auto digit = [&](char c, bool fraction) {
        anyDigit = true;
        if (significant == 0 && c == '0') {
            if (fraction) ++scale;
            return;
        }
        // Past 70 significant digits the rest can only decide rounding: keep them as a tail.
        if (significant >= 70) {
            if (!fraction) --scale;
            inexact = inexact || c != '0';
            return;
        }
        ++significant;
        magnitude.multiplySmall(10);
        magnitude.add(Wide(static_cast<U128>(c - '0')));
        if (fraction) ++scale;
    };
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) digit(text[i], false);
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) digit(text[i], true);
    }
    if (!anyDigit) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i++] == '-';
        }
        const std::size_t first = i;
        long long exponent = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (i == first) return std::nullopt;
        scale += negativeExponent ? exponent : -exponent;
    }
    if (i != text.size()) return std::nullopt;
    if (magnitude.isZero()) return Decimal{};
    if (scale < -kMaxDecimalScale - 1) throw DecimalOverflow{};
    // A tiny number keeps only its leading digits at scale 28; drop the rest in one pass.
    if (scale > 1000) return finish(Wide(), 0, negative, Tail::BelowHalf);
    return finish(magnitude, static_cast<int>(scale), negative,
                  inexact ? Tail::BelowHalf : Tail::Zero);
}

Decimal decimalAdd(const Decimal& a, const Decimal& b) { return addSigned(a, b, false); }

Decimal decimalSubtract(const Decimal& a, const Decimal& b) { return addSigned(a, b, true); }

Decimal decimalMultiply(const Decimal& a, const Decimal& b) {
    return finish(Wide::product(a.magnitude, b.magnitude), a.scale + b.scale,
                  a.negative != b.negative);
}

Decimal decimalDivide(const Decimal& a, const Decimal& b) {
    // Scale the dividend so that the quotient has 28 decimals, or as far as 256 bits allow;
    // in the latter case the quotient has far more than 29 digits and is rounded down to them.
    const int wanted = kMaxDecimalScale - a.scale + b.scale;
    Wide dividend(a.magnitude);
    int applied = 0;
    for (; applied < wanted; ++applied) {
        Wide next = dividend;
        if (!next.multiplySmall(10)) break;
        dividend = next;
    }
    const U128 remainder = dividend.divide(b.magnitude);
    // The remainder against half the divisor says how the quotient's last digit rounds.
    const U128 twice = remainder << 1;  // below 2^98: no overflow
    const Tail tail = remainder == 0         ? Tail::Zero
                      : twice < b.magnitude  ? Tail::BelowHalf
                      : twice == b.magnitude ? Tail::Half
                                             : Tail::AboveHalf;
    return stripTrailingZeros(
        finish(dividend, a.scale - b.scale + applied, a.negative != b.negative, tail));
}

Decimal decimalNegate(const Decimal& v) {
    Decimal d = v;
    d.negative = !v.negative && v.magnitude != 0;
    return d;
}

int decimalCompare(const Decimal& a, const Decimal& b) {
    const bool aNeg = a.negative && a.magnitude != 0;
    const bool bNeg = b.negative && b.magnitude != 0;
    if (aNeg != bNeg) return aNeg ? -1 : 1;
    const Aligned x = align(a, b);
    const int c = x.a.compare(x.b);
    return aNeg ? -c : c;
}

bool decimalIsZero(const Decimal& v) { return v.magnitude == 0; }

Decimal decimalRound(const Decimal& v, int scale, Rounding mode) {
    if (v.scale <= scale) return v;
    return finish(Wide(v.magnitude), v.scale, v.negative, Tail::Zero, scale, mode);
}

std::optional<std::int64_t> decimalToInteger(const Decimal& v) {
    const Decimal whole = decimalRound(v, 0);
    const U128 limit = v.negative ? U128{1} << 63 : (U128{1} << 63) - 1;
    if (whole.magnitude > limit) return std::nullopt;
    if (!whole.negative) return static_cast<std::int64_t>(whole.magnitude);
    return static_cast<std::int64_t>(-static_cast<I128>(whole.magnitude));
}

int decimalDigits(const Decimal& v) {
    int digits = 1;
    for (U128 m = v.magnitude; m >= 10; m /= 10) ++digits;
    return digits;
}

}  // namespace jet::values
