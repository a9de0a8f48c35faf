// The arithmetic operators of Access expressions on Variant values (the VBA rules Jet follows):
// Null in, Null out; result types widen Byte < Integer < Long < BigInt < Single < Double, with
// Currency and Decimal beside them; whole-number results that outgrow their type widen instead of
// failing. Faults are ValueFault (value_rules.h).
//
// Decisions where Access leaves room:
// - A whole-number result too large for its type takes the smallest of Integer and Long that
//   holds it; past Long (and BigInt) it becomes a Double, as a Long Variant does in VBA. Single
//   overflows to Double; Currency, Double and Decimal overflow is an error.
// - Single with Long or BigInt gives Double (a Single cannot hold every Long).
// - Text in arithmetic is read as a Double, or exactly as a Decimal when the other operand is one.
//   A Double beside a Decimal becomes one with 15 significant digits, as Access converts it.
// - Date arithmetic is done on the linear day count (date_time.h), so moving a date before
//   1899-12-30 by half a day lands on the right hour.
// - "\" and Mod round both operands half to even to whole numbers; the result is Byte or Integer
//   when both operands are, BigInt when either is, otherwise Long, widening when it outgrows it.
#pragma once

#include <cstdint>
#include <optional>

#include "jet/base/value.h"

namespace jet::values {

Value add(const Value& a, const Value& b);  // numbers add; two texts concatenate
Value subtract(const Value& a, const Value& b);
Value multiply(const Value& a, const Value& b);
Value divide(const Value& a, const Value& b);         // Double; Decimal for Decimal operands
Value integerDivide(const Value& a, const Value& b);  // "\": truncates toward zero
Value modulo(const Value& a, const Value& b);         // the sign of the dividend
Value power(const Value& a, const Value& b);          // Double
Value negate(const Value& v);
Value concatenate(const Value& a, const Value& b);  // "&": Null & x is x as text

// x rounded to a whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double roundHalfEven(double x);
// Currency's ten-thousandths rounded half to even to a whole number.
std::int64_t currencyToWhole(std::int64_t scaled);
// The product of two Currencies in ten-thousandths: its eight places rounded half to even to
// four; null when it lies outside Currency's range.
std::optional<std::int64_t> currencyProduct(std::int64_t a, std::int64_t b);
// A number rounded half to even to a whole number; throws Overflow outside int64 and
// TypeMismatch for values that are not numbers (numeric text is read).
std::int64_t wholeNumber(const Value& v);

}  // namespace jet::values
