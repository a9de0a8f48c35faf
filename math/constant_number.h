// The constant of the constant operation: the text the user typed read as a number in the
// user's locale, and the number written back as SQL reads it. The value is kept as typed (0.4
// stays 0.4), not rounded to a whole number.
#pragma once

#include <QLocale>
#include <QString>
#include <optional>
#include <string>

namespace app {

// The typed text as a number, or none when it is not one. Accepted: surrounding blanks, a sign,
// the locale's decimal separator, group separators only between groups of three digits, and an
// exponent. An empty text, or one whose value is beyond a Double, is not a number.
std::optional<double> readConstant(const QString& text, const QLocale& locale = QLocale());

// The shortest text that reads back as the same Double: "." as decimal point, a leading "-"
// when negative, no grouping, plain digits unless the magnitude is 1E+15 or more or below
// 1E-9 (not zero), which take an "E" exponent. Whole numbers come out as plain digits: 10, -3.
std::string sqlNumber(double value);

}  // namespace app
