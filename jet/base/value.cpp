// Type names and the canonical text forms of cell values. The forms are what the dump and the CSV
// export print, so two readers that agree on a value print the same bytes.
#include "jet/base/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>
#include <system_error>

namespace jet {

namespace {

// Proleptic Gregorian day numbers, counted from 0001-01-01 = 0.
constexpr std::int64_t kFirstDay = 0;          // 0001-01-01
constexpr std::int64_t kLastDay = 3652058;     // 9999-12-31
constexpr std::int64_t kAccessEpoch = 693593;  // 1899-12-30, Access's day 0
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerDay = kSecondsPerDay * kTicksPerSecond;

struct CivilDate {
    int year;
    int month;
    int day;
};

// Only called for days in [kFirstDay, kLastDay]; the cycle arithmetic needs a non-negative count.
CivilDate civilFromDays(std::int64_t days) {
    constexpr std::int64_t kDaysPer400Years = 146097;
    constexpr std::int64_t kDaysPer100Years = 36524;
    constexpr std::int64_t kDaysPer4Years = 1461;
    constexpr std::int64_t kDaysPerYear = 365;

    std::int64_t n = days;
    const std::int64_t cycles400 = n / kDaysPer400Years;
    n %= kDaysPer400Years;
    // The last day of a 400-year cycle (a leap day) would otherwise count as a fifth century.
    std::int64_t centuries = n / kDaysPer100Years;
    if (centuries == 4) centuries = 3;
    n -= centuries * kDaysPer100Years;
    const std::int64_t quads = n / kDaysPer4Years;
    n %= kDaysPer4Years;
    // Likewise the leap day closing a 4-year group belongs to its fourth year.
    std::int64_t years = n / kDaysPerYear;
    if (years == 4) years = 3;
    n -= years * kDaysPerYear;

    const int year = static_cast<int>(cycles400 * 400 + centuries * 100 + quads * 4 + years + 1);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    for (; month < 12; ++month) {
        const int length = kMonthDays[month] + (month == 1 && leap ? 1 : 0);
        if (n < length) break;
        n -= length;
    }
    return CivilDate{year, month + 1, static_cast<int>(n) + 1};
}

std::string formatDayAndSeconds(std::int64_t days, std::int64_t seconds) {
    const CivilDate date = civilFromDays(days);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month, date.day,
                  static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return buf;
}

template <typename Float>
std::string shortestText(Float v) {
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

__extension__ using UInt128 = unsigned __int128;

std::string digitsOf(UInt128 v) {
    if (v == 0) return "0";
    char buf[48];
    char* end = buf + sizeof buf;
    char* p = end;
    while (v != 0) {
        *--p = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    }
    return std::string(p, end);
}

}  // namespace

const char* columnTypeName(ColumnType type) {
    switch (type) {
        case ColumnType::YesNo:
            return "YesNo";
        case ColumnType::Byte:
            return "Byte";
        case ColumnType::Integer:
            return "Integer";
        case ColumnType::Long:
            return "Long";
        case ColumnType::Currency:
            return "Currency";
        case ColumnType::Single:
            return "Single";
        case ColumnType::Double:
            return "Double";
        case ColumnType::DateTime:
            return "DateTime";
        case ColumnType::Binary:
            return "Binary";
        case ColumnType::Text:
            return "Text";
        case ColumnType::OLE:
            return "OLE";
        case ColumnType::Memo:
            return "Memo";
        case ColumnType::GUID:
            return "GUID";
        case ColumnType::Decimal:
            return "Decimal";
        case ColumnType::Complex:
            return "Complex";
        case ColumnType::BigInt:
            return "BigInt";
        case ColumnType::DateTimeExtended:
            return "DateTimeExtended";
    }
    // A code read from a damaged TDEF can reach here through a cast.
    return "Unknown";
}

bool isKnownColumnType(std::uint8_t code) {
    switch (static_cast<ColumnType>(code)) {
        case ColumnType::YesNo:
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::DateTime:
        case ColumnType::Binary:
        case ColumnType::Text:
        case ColumnType::OLE:
        case ColumnType::Memo:
        case ColumnType::GUID:
        case ColumnType::Decimal:
        case ColumnType::Complex:
        case ColumnType::BigInt:
        case ColumnType::DateTimeExtended:
            return true;
    }
    return false;
}

std::string formatSingle(float v) { return shortestText(v); }

std::string formatDouble(double v) { return shortestText(v); }

std::string formatCurrency(Currency v) {
    // Negate in unsigned arithmetic so that INT64_MIN has a magnitude.
    const bool negative = v.scaled < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(v.scaled) : static_cast<std::uint64_t>(v.scaled);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%llu.%04llu", negative ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 10000),
                  static_cast<unsigned long long>(magnitude % 10000));
    return buf;
}

std::string formatDecimal(const Decimal& v) {
    if (v.magnitude == 0) return "0";
    std::string digits = digitsOf(v.magnitude);
    const std::size_t scale = v.scale;
    if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - scale);
    std::string fraction = digits.substr(digits.size() - scale);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string text = v.negative ? "-" : "";
    text += whole;
    if (!fraction.empty()) text += "." + fraction;
    return text;
}

std::string formatDateTime(DateTime v) {
    const double d = v.days;
    // Outside years 1..9999 there is no four-digit calendar form; printing the stored number
    // keeps the value visible instead of inventing a date (this also covers NaN and infinity).
    constexpr double kLow = static_cast<double>(kFirstDay - kAccessEpoch - 1);
    constexpr double kHigh = static_cast<double>(kLastDay - kAccessEpoch + 1);
    if (!(d > kLow && d < kHigh)) return formatDouble(d);

    // Access counts the day toward zero but the time of day always forward from midnight, so
    // -1.25 is the day before the epoch at 06:00, not 18:00.
    const double whole = std::trunc(d);
    std::int64_t day = static_cast<std::int64_t>(whole) + kAccessEpoch;
    std::int64_t seconds = static_cast<std::int64_t>(std::round(std::fabs(d - whole) * 86400.0));
    if (seconds >= kSecondsPerDay) {
        ++day;
        seconds = 0;
    }
    if (day < kFirstDay || day > kLastDay) return formatDouble(d);
    return formatDayAndSeconds(day, seconds);
}

std::string formatDateTimeExtended(const DateTimeExtended& v) {
    // Fold ticks outside one day into the day count, guarding against overflow from a
    // damaged value: such values print in their raw "days:ticks" form.
    std::int64_t day = v.days;
    std::int64_t ticks = v.ticks % kTicksPerDay;
    std::int64_t carry = v.ticks / kTicksPerDay;
    if (ticks < 0) {
        ticks += kTicksPerDay;
        --carry;
    }
    if (__builtin_add_overflow(day, carry, &day) || day < kFirstDay || day > kLastDay) {
        return std::to_string(v.days) + ":" + std::to_string(v.ticks);
    }
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%07lld",
                  static_cast<long long>(ticks % kTicksPerSecond));
    return formatDayAndSeconds(day, ticks / kTicksPerSecond) + fraction;
}

std::string formatGuid(const Guid& v) {
    const auto& b = v.bytes;
    char buf[40];
    std::snprintf(buf, sizeof buf,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return buf;
}

std::string formatHex(const Bytes& v) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    text.reserve(2 + 2 * v.size());
    for (const std::uint8_t byte : v) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace jet
