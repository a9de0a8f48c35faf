// The Variant rules the evaluator shares between operators, functions and storing: how a value
// reads as a number, as text and as True/False, and how two values compare. These work on bare
// values and report faults as ValueFault; the evaluator adds the expression at fault, storing
// adds the field.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jet/base/error.h"
#include "jet/base/value.h"

namespace jet::values {

struct ValueFault {
    ErrorCode code;
    std::string detail;  // a clause such as "'abc' is not a number"
};

[[noreturn]] void throwFault(ErrorCode code, std::string detail);

// A value as a message quotes it: 'abc' for text, 70000, #9/21/1974# for dates, Null.
std::string describeValue(const Value& v);

// The type a value of this alternative has in a column; null for Null.
std::optional<ColumnType> typeOfValue(const Value& v);

// Text read as a number: blanks around it, a sign, digits with an optional "." and an optional
// exponent ("1e3", " -2.5 ", ".5"). No group separators, currency signs or locale: SQL text is
// the same on every machine. Null when the text is not such a number.
std::optional<double> parseNumberText(std::string_view text);

// Shortest round-trip text with "." (what numbers become when concatenated or stored as text).
std::string numberText(const Value& number);

// The text a value gives in `&` and when stored into a text column: numbers in their shortest
// round-trip form, Currency without trailing zeros, Yes/No as "-1" or "0" (Access shows the
// stored number), dates in General Date form. Null gives "". Binary data is a type mismatch.
std::string textOf(const Value& v);

// True for the alternatives that take part in arithmetic as numbers: Yes/No, the whole-number
// types, Currency, Single, Double, Decimal and the two date types.
bool isNumber(const Value& v);

// Any number, Yes/No (-1/0), date (its serial) or numeric text as a Double; throws TypeMismatch.
double toDouble(const Value& v);

// Numbers are True when nonzero; text may be "True", "False" or a number. Throws TypeMismatch.
// The caller handles Null.
bool toBoolean(const Value& v);

// <0, 0, >0 for two non-Null values. Texts compare without regard to case; a text compared
// with a number or a date is read as one. Throws TypeMismatch for values that do not compare.
int compareValues(const Value& a, const Value& b);

// A total order for sorting that never throws: Null first, then numbers and dates, then text,
// then GUIDs and binary data; within a kind as compareValues orders them.
int compareForSort(const Value& a, const Value& b);

// Texts folded for comparison without regard to case.
std::string foldText(std::string_view text);

}  // namespace jet::values
