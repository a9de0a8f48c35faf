// Converting a value to one column type under the storing rules (rounding half to even, range
// checks, text read as numbers or dates). Shared by storing (convertForColumn in evaluator.h) and
// by the conversion functions CInt, CLng, CCur and CDbl. Faults are ValueFault.
#pragma once

#include <cstdint>

#include "jet/value.h"

namespace jet::sql {

struct DecimalShape {
    int precision = 28;  // digits in all
    int scale = 0;       // digits after the point
    // Keep the value's own scale instead, rounding off only the fraction digits beyond the
    // precision: a calculated column stores its Decimal result so.
    bool ownScale = false;
};

// The value (not Null) as `type` holds it. Text and Memo give the value's text form; Binary, OLE,
// GUID and Complex accept only their own kind (GUID also its "{...}" text).
Value convertToType(const Value& v, ColumnType type, DecimalShape shape = {});

}  // namespace jet::sql
