#include "jet/values/date_time.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace jet::values {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kTicksPerDay = kSecondsPerDay * 10'000'000;
// Days from 0001-01-01 to 1899-12-30, the day DateTimeExtended and DateTime count from.
constexpr std::int64_t kExtendedEpochOffset = 693593;

// Days since 1970-01-01 of a proleptic Gregorian date (the well-known era-based algorithm).
constexpr std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t{era} * 146097 + doe - 719468;
}

struct Civil {
    int year;
    int month;
    int day;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<int>(z - era * 146097);
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int d = doy - (153 * mp + 2) / 5 + 1;
    const int m = mp + (mp < 10 ? 3 : -9);
    return Civil{static_cast<int>(yoe + era * 400) + (m <= 2 ? 1 : 0), m, d};
}

// 1899-12-30 counted from 1970-01-01.
constexpr std::int64_t kAccessEpoch = daysFromCivil(1899, 12, 30);

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return kDays[static_cast<std::size_t>(m - 1)] + (m == 2 && leap(y) ? 1 : 0);
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// A small cursor over the text with the pieces the date forms are made of.
class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    bool atEnd() const { return i_ >= s_.size(); }
    char peek() const { return atEnd() ? '\0' : s_[i_]; }
    std::size_t pos() const { return i_; }
    void reset(std::size_t p) { i_ = p; }

    void blanks() {
        while (!atEnd() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
    }

    bool take(char c) {
        if (peek() != c) return false;
        ++i_;
        return true;
    }

    // Digits, at most `maxDigits`; the count read goes to `digits`.
    std::optional<int> number(int maxDigits, int* digits = nullptr) {
        int value = 0;
        int n = 0;
        while (!atEnd() && s_[i_] >= '0' && s_[i_] <= '9' && n < maxDigits) {
            value = value * 10 + (s_[i_++] - '0');
            ++n;
        }
        if (digits) *digits = n;
        if (n == 0) return std::nullopt;
        return value;
    }

    // An English month name or its three-letter abbreviation.
    std::optional<int> monthName() {
        static constexpr std::array<std::string_view, 12> kNames{
            "january", "february", "march",     "april",   "may",      "june",
            "july",    "august",   "september", "october", "november", "december"};
        std::size_t end = i_;
        while (end < s_.size() &&
               ((s_[end] >= 'a' && s_[end] <= 'z') || (s_[end] >= 'A' && s_[end] <= 'Z'))) {
            ++end;
        }
        const std::size_t len = end - i_;
        if (len < 3) return std::nullopt;
        for (std::size_t m = 0; m < kNames.size(); ++m) {
            const std::string_view name = kNames[m];
            if (len != 3 && len != name.size()) continue;
            bool same = true;
            for (std::size_t k = 0; k < len && same; ++k) same = lower(s_[i_ + k]) == name[k];
            if (same) {
                i_ = end;
                return static_cast<int>(m) + 1;
            }
        }
        return std::nullopt;
    }

    bool word(std::string_view w) {
        if (s_.size() - i_ < w.size()) return false;
        for (std::size_t k = 0; k < w.size(); ++k) {
            if (lower(s_[i_ + k]) != w[k]) return false;
        }
        i_ += w.size();
        return true;
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
};

int fullYear(int year, int digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

std::optional<double> serialOf(int y, int m, int d) {
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) {
        return std::nullopt;
    }
    return static_cast<double>(daysFromCivil(y, m, d) - kAccessEpoch);
}

std::optional<double> datePart(Reader& r) {
    const std::size_t start = r.pos();
    // mmm d[,] yyyy
    if (const auto month = r.monthName()) {
        r.blanks();
        const auto day = r.number(2);
        r.blanks();
        r.take(',');
        r.blanks();
        int digits = 0;
        const auto year = r.number(4, &digits);
        if (!day || !year) return std::nullopt;
        return serialOf(fullYear(*year, digits), *month, *day);
    }
    int firstDigits = 0;
    const auto first = r.number(4, &firstDigits);
    if (!first) {
        r.reset(start);
        return std::nullopt;
    }
    const char sep = r.peek();
    if (sep != '/' && sep != '-') return std::nullopt;
    r.take(sep);
    if (firstDigits > 2) {  // yyyy-m-d
        const auto m = r.number(2);
        if (!m || !r.take(sep)) return std::nullopt;
        const auto d = r.number(2);
        if (!d) return std::nullopt;
        return serialOf(*first, *m, *d);
    }
    if (const auto month = r.monthName()) {  // d-mmm-yyyy
        int digits = 0;
        if (!r.take(sep)) return std::nullopt;
        const auto year = r.number(4, &digits);
        if (!year) return std::nullopt;
        return serialOf(fullYear(*year, digits), *month, *first);
    }
    const auto d = r.number(2);
    if (!d || !r.take(sep)) return std::nullopt;
    int digits = 0;
    const auto year = r.number(4, &digits);
    if (!year) return std::nullopt;
    return serialOf(fullYear(*year, digits), *first, *d);
}

// h:mm[:ss] [AM|PM] or h AM|PM, as a fraction of a day.
std::optional<double> timePart(Reader& r) {
    const auto h = r.number(2);
    if (!h) return std::nullopt;
    int minutes = 0;
    int seconds = 0;
    bool hasMinutes = false;
    if (r.take(':')) {
        const auto m = r.number(2);
        if (!m) return std::nullopt;
        minutes = *m;
        hasMinutes = true;
        if (r.take(':')) {
            const auto s = r.number(2);
            if (!s) return std::nullopt;
            seconds = *s;
        }
    }
    r.blanks();
    int hour = *h;
    if (r.word("am") || r.word("a")) {
        if (hour < 1 || hour > 12) return std::nullopt;
        if (hour == 12) hour = 0;
    } else if (r.word("pm") || r.word("p")) {
        if (hour < 1 || hour > 12) return std::nullopt;
        if (hour != 12) hour += 12;
    } else if (!hasMinutes) {
        return std::nullopt;  // a bare number is no time
    }
    if (hour > 23 || minutes > 59 || seconds > 59) return std::nullopt;
    return static_cast<double>(hour * 3600 + minutes * 60 + seconds) / kSecondsPerDay;
}

}  // namespace

double dateToLinear(double serial) {
    if (serial >= 0) return serial;
    const double day = std::trunc(serial);
    return day - (serial - day);
}

double dateFromLinear(double linear) {
    if (linear >= 0) return linear;
    const double day = std::floor(linear);
    const double time = linear - day;
    return time == 0 ? day : day - time;
}

bool dateInRange(double serial) {
    return serial >= kFirstDateSerial && serial < kLastDateSerial + 0.00001;
}

std::optional<double> parseDateText(std::string_view text) {
    Reader r(text);
    r.blanks();
    const std::size_t start = r.pos();
    std::optional<double> day = datePart(r);
    if (!day) {
        r.reset(start);
        const auto time = timePart(r);
        r.blanks();
        if (!time || !r.atEnd()) return std::nullopt;
        return *time;
    }
    const bool separated = r.take('T') || r.peek() == ' ' || r.peek() == '\t';
    r.blanks();
    if (r.atEnd()) return day;
    if (!separated) return std::nullopt;
    const auto time = timePart(r);
    r.blanks();
    if (!time || !r.atEnd()) return std::nullopt;
    return dateFromLinear(*day + *time);
}

std::string formatGeneralDate(double serial) {
    const double linear = dateToLinear(serial);
    auto day = static_cast<std::int64_t>(std::floor(linear));
    auto seconds =
        static_cast<std::int64_t>(std::llround((linear - std::floor(linear)) * kSecondsPerDay));
    if (seconds >= kSecondsPerDay) {
        ++day;
        seconds -= kSecondsPerDay;
    }
    char buf[64];
    std::string text;
    if (day != 0 || seconds == 0) {
        const Civil c = civilFromDays(day + kAccessEpoch);
        std::snprintf(buf, sizeof buf, "%d/%d/%d", c.month, c.day, c.year);
        text = buf;
    }
    if (seconds != 0) {
        const int h = static_cast<int>(seconds / 3600);
        const int h12 = h % 12 == 0 ? 12 : h % 12;
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h12, static_cast<int>(seconds / 60 % 60),
                      static_cast<int>(seconds % 60), h < 12 ? "AM" : "PM");
        if (!text.empty()) text += ' ';
        text += buf;
    }
    return text;
}

DateTime dateFromExtended(const DateTimeExtended& v) {
    const double linear = static_cast<double>(v.days - kExtendedEpochOffset) +
                          static_cast<double>(v.ticks) / static_cast<double>(kTicksPerDay);
    return DateTime{dateFromLinear(linear)};
}

DateTimeExtended extendedFromDate(DateTime v) {
    const double linear = dateToLinear(v.days);
    const double day = std::floor(linear);
    auto ticks = static_cast<std::int64_t>(std::llround((linear - day) * kTicksPerDay));
    auto days = static_cast<std::int64_t>(day) + kExtendedEpochOffset;
    if (ticks >= kTicksPerDay) {
        ++days;
        ticks -= kTicksPerDay;
    }
    return DateTimeExtended{days, ticks};
}

}  // namespace jet::values
