// Access dates as the evaluator sees them: a serial number of days since 1899-12-30 whose
// fraction is the time of day. Before that day the serial counts the day toward zero and the time
// forward from midnight, so -1.25 is 1899-12-29 06:00; arithmetic therefore works on a linear
// form where every day is one unit, and results go back to the serial form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jet/base/value.h"

namespace jet::values {

// The range Access accepts: 100-01-01 00:00:00 to 9999-12-31 23:59:59.
constexpr double kFirstDateSerial = -657434.0;
constexpr double kLastDateSerial = 2958465.99999;

double dateToLinear(double serial);
double dateFromLinear(double linear);
bool dateInRange(double serial);

// A date or time written as Access reads it in #...# literals and in text compared with or
// stored into dates (US order; no locale):
//   m/d/yyyy, m/d/yy, m-d-yyyy, yyyy-m-d, yyyy/m/d, d-mmm-yyyy, mmm d yyyy, mmm d, yyyy
// optionally followed (after a blank, or a "T" after an ISO date) by h:mm, h:mm:ss, with an
// optional AM or PM; or a time alone, which is on day 0. Two-digit years 00-29 are 2000-2029,
// 30-99 are 1930-1999. Null for anything else, including impossible dates such as 2/30/2021.
std::optional<double> parseDateText(std::string_view text);

// Access's General Date in US form: "9/21/1974", "9/21/1974 3:04:05 PM", or "3:04:05 PM" for a
// time on day 0; the time is rounded to the second.
std::string formatGeneralDate(double serial);

DateTime dateFromExtended(const DateTimeExtended& v);
DateTimeExtended extendedFromDate(DateTime v);

}  // namespace jet::values
