#include "app/controls/value_display.h"

#include <QDate>
#include <QTime>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <variant>

namespace app {
namespace {

// Rewrites the unquoted fields of a Qt date or time format ("yy", "t", ...), each given as its
// letter and how often it repeats.
QString rewriteFields(const QString& format,
                      const std::function<QString(QChar letter, int repeat)>& rewrite) {
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'') quoted = !quoted;
        if (quoted || !c.isLetter()) {
            result += c;
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < format.size() && format[end] == c) ++end;
        const QString field = rewrite(c, static_cast<int>(end - i));
        // A dropped field takes the blank that separated it along.
        if (field.isEmpty()) {
            while (!result.isEmpty() && result.back().isSpace()) result.chop(1);
        }
        result += field;
        i = end;
    }
    return result.trimmed();
}

// Windows' short date has a four-digit year where Qt's often has two; a datasheet spanning
// centuries must not show 1925 and 2025 alike.
QString shortDateFormat(const QLocale& locale) {
    return rewriteFields(locale.dateFormat(QLocale::ShortFormat), [](QChar letter, int repeat) {
        if (letter == u'y' && repeat == 2) return QString("yyyy");
        return QString(repeat, letter);
    });
}

// The long time is hours, minutes and seconds; Qt's long form adds a time zone Access never
// shows.
QString longTimeFormat(const QLocale& locale) {
    return rewriteFields(locale.timeFormat(QLocale::LongFormat), [](QChar letter, int repeat) {
        return letter == u't' ? QString() : QString(repeat, letter);
    });
}

std::string digitsOf(decltype(jet::Decimal::magnitude) n) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    } while (n != 0);
    return digits;
}

// Every digit the column's scale keeps, trailing zeros included.
QString decimalText(const jet::Decimal& value) {
    std::string digits = digitsOf(value.magnitude);
    const std::size_t scale = value.scale;
    if (scale > 0) {
        if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
        digits.insert(digits.size() - scale, 1, '.');
    }
    if (value.negative && value.magnitude != 0) digits.insert(0, 1, '-');
    return QString::fromStdString(digits);
}

QString dateTimeExtendedText(const jet::DateTimeExtended& value) {
    QString text = QString::fromStdString(jet::formatDateTimeExtended(value));
    return text.replace(u'T', u' ');
}

}  // namespace

ValueDisplay::ValueDisplay(const QLocale& locale)
    : locale_(locale), dateFormat_(shortDateFormat(locale)), timeFormat_(longTimeFormat(locale)) {}

QString ValueDisplay::text(const jet::Value& value) const {
    return std::visit(
        [this](const auto& v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, jet::Null> || std::is_same_v<T, jet::ComplexId>) {
                return {};
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? QStringLiteral("Yes") : QStringLiteral("No");
            } else if constexpr (std::is_integral_v<T>) {
                return QString::number(v);
            } else if constexpr (std::is_same_v<T, float>) {
                return QString::fromStdString(jet::formatSingle(v));
            } else if constexpr (std::is_same_v<T, double>) {
                return QString::fromStdString(jet::formatDouble(v));
            } else if constexpr (std::is_same_v<T, jet::Currency>) {
                return currency(v);
            } else if constexpr (std::is_same_v<T, jet::Decimal>) {
                return decimalText(v);
            } else if constexpr (std::is_same_v<T, jet::DateTime>) {
                return generalDate(v);
            } else if constexpr (std::is_same_v<T, jet::DateTimeExtended>) {
                return dateTimeExtendedText(v);
            } else if constexpr (std::is_same_v<T, jet::Guid>) {
                return QString::fromStdString(jet::formatGuid(v));
            } else if constexpr (std::is_same_v<T, std::string>) {
                return QString::fromStdString(v);
            } else {
                static_assert(std::is_same_v<T, jet::Bytes>);
                return v.empty() ? QString() : QStringLiteral("Long binary data");
            }
        },
        value);
}

QString ValueDisplay::generalDate(jet::DateTime value) const {
    const double days = value.days;
    const auto plain = [&] { return QString::fromStdString(jet::formatDouble(days)); };
    // Beyond Access's years 100 to 9999 (or not a number at all) there is no date to show.
    if (!(days > -700000.0 && days < 3000000.0)) return plain();

    // The day counts toward zero, the time of day always forward from midnight.
    auto whole = static_cast<std::int64_t>(std::trunc(days));
    auto seconds =
        static_cast<std::int64_t>(std::llround(std::fabs(days - std::trunc(days)) * 86400.0));
    if (seconds >= 86400) {
        ++whole;
        seconds = 0;
    }
    const QDate date = QDate(1899, 12, 30).addDays(whole);
    if (date.year() < 100 || date.year() > 9999) return plain();

    const QString time =
        locale_.toString(QTime(0, 0).addSecs(static_cast<int>(seconds)), timeFormat_);
    if (whole == 0) return time;
    const QString day = locale_.toString(date, dateFormat_);
    return seconds == 0 ? day : day + u' ' + time;
}

QString ValueDisplay::currency(jet::Currency value) const {
    // Negate in unsigned arithmetic so that the smallest amount has a magnitude.
    bool negative = value.scaled < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.scaled)
                                             : static_cast<std::uint64_t>(value.scaled);
    // Half a cent rounds away from zero.
    const std::uint64_t cents = magnitude / 100 + (magnitude % 100 >= 50 ? 1 : 0);
    if (cents == 0) negative = false;

    const auto digit = [&](std::uint64_t d) {
        return locale_.toString(static_cast<qulonglong>(d));
    };
    const QString amount = locale_.toString(static_cast<qulonglong>(cents / 100)) +
                           locale_.decimalPoint() + digit(cents % 100 / 10) + digit(cents % 10);

    // The locale places the symbol and the sign around a one; the amount takes its place.
    QString pattern = locale_.toCurrencyString(static_cast<qlonglong>(negative ? -1 : 1));
    const QString one = digit(1);
    const qsizetype at = pattern.indexOf(one);
    if (at < 0) return (negative ? locale_.negativeSign() : QString()) + amount;
    return pattern.replace(at, one.size(), amount);
}

bool alignsRight(jet::ColumnType type) {
    // A type the engine does not know reads as bytes, which stand on the left as Binary does.
    if (!jet::isKnownColumnType(static_cast<std::uint8_t>(type))) return false;
    switch (type) {
        case jet::ColumnType::Text:
        case jet::ColumnType::Memo:
        case jet::ColumnType::Binary:
        case jet::ColumnType::OLE:
        case jet::ColumnType::GUID:
        case jet::ColumnType::Complex:
            return false;
        default:
            return true;
    }
}

}  // namespace app
