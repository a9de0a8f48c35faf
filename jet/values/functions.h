// The built-in functions an expression may call, looked up by name without regard to case.
// IIf and Nz evaluate their arguments lazily and the aggregates work across rows, so the
// evaluator implements those itself; everything here takes its arguments already evaluated.
//
// Decisions where Access leaves room:
// - Text functions count characters (code points), so a character outside the Basic
//   Multilingual Plane is one character, not two UTF-16 units.
// - Round, Int and Fix keep the operand's type; Round rounds half to even on the decimal digits
//   the number shows (Round(2.675, 2) = 2.68), not on its binary expansion.
// - Int and Fix of a date drop the time of day.
// - A Null where a number of characters or places is wanted, and arguments Access rejects as an
//   "invalid procedure call" (negative lengths, a start below 1), are type mismatches.
#pragma once

#include <string_view>
#include <vector>

#include "jet/base/value.h"

namespace jet::values {

struct FunctionDef {
    std::string_view name;  // as messages spell it
    std::size_t minArguments;
    std::size_t maxArguments;
    Value (*call)(const std::vector<Value>& arguments);  // throws ValueFault
};

// Null for a name that is no built-in function.
const FunctionDef* findFunction(std::string_view name);

}  // namespace jet::values
