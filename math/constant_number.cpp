#include "math/constant_number.h"

#include <charconv>
#include <cmath>

namespace app {
namespace {

// Walks the typed text once, writing the number in C's form for from_chars.
class NumberText {
public:
    NumberText(const QString& text, const QLocale& locale)
        : text_(text.trimmed()), locale_(locale) {}

    std::optional<double> read() {
        sign();
        const qsizetype whole = groupedDigits();
        if (whole < 0) return std::nullopt;
        qsizetype fraction = 0;
        if (take(locale_.decimalPoint())) {
            c_ += '.';
            fraction = digits();
        }
        if (whole + fraction == 0) return std::nullopt;
        if (takeExponentMark()) {
            c_ += 'e';
            sign();
            if (digits() == 0) return std::nullopt;
        }
        if (at_ != text_.size()) return std::nullopt;

        double value = 0;
        const auto [end, ec] = std::from_chars(c_.data(), c_.data() + c_.size(), value);
        if (ec != std::errc() || end != c_.data() + c_.size() || !std::isfinite(value)) {
            return std::nullopt;
        }
        return value;
    }

private:
    bool take(const QString& piece) {
        if (piece.isEmpty() || !QStringView(text_).mid(at_).startsWith(piece)) return false;
        at_ += piece.size();
        return true;
    }

    // The locale's signs, and the ASCII ones that every keyboard has.
    void sign() {
        if (take(locale_.negativeSign()) || take(QStringLiteral("-"))) {
            c_ += '-';
        } else if (!take(locale_.positiveSign())) {
            take(QStringLiteral("+"));
        }
    }

    bool takeExponentMark() {
        return take(QStringLiteral("e")) || take(QStringLiteral("E")) ||
               take(locale_.exponential());
    }

    qsizetype digits() {
        qsizetype count = 0;
        while (at_ < text_.size() && text_[at_] >= u'0' && text_[at_] <= u'9') {
            c_ += static_cast<char>(text_[at_].unicode());
            ++at_;
            ++count;
        }
        return count;
    }

    // The whole part: -1 when a group separator stands anywhere but between groups of three,
    // so that "1,5" in English is no number rather than 15.
    qsizetype groupedDigits() {
        const qsizetype first = digits();
        qsizetype count = first;
        const QString group = locale_.groupSeparator();
        while (take(group)) {
            if (first == 0 || first > 3 || digits() != 3) return -1;
            count += 3;
        }
        return count;
    }

    QString text_;
    const QLocale& locale_;
    qsizetype at_ = 0;
    std::string c_;
};

}  // namespace

std::optional<double> readConstant(const QString& text, const QLocale& locale) {
    return NumberText(text, locale).read();
}

std::string sqlNumber(double value) {
    if (value == 0) value = 0;  // no "-0"
    const double magnitude = std::fabs(value);
    const bool exponent = magnitude >= 1e15 || (magnitude != 0 && magnitude < 1e-9);
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value,
                      exponent ? std::chars_format::scientific : std::chars_format::fixed);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    for (char& c : text) {
        if (c == 'e') c = 'E';
    }
    return text;
}

}  // namespace app
