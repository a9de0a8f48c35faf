// Converting a value to one column type under the storing rules (rounding half to even, range
// checks, text read as numbers or dates). Shared by storing (convertForColumn below) and
// by the conversion functions CInt, CLng, CCur and CDbl. Faults are ValueFault.
#pragma once

#include <cstdint>

#include "jet/base/value.h"
#include "jet/format/schema.h"

namespace jet::values {

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

// The value as `column` stores it:
// - whole-number types round half to even (2.5 -> 2, 3.5 -> 4); Currency rounds to 4 places and
//   Decimal to the column's scale, half to even; a value outside the type's range (or beyond the
//   Decimal's precision) is Error(Overflow);
// - text stored into a number or date column must read as one, else Error(TypeMismatch);
// - numbers stored into text use the shortest round-trip form with "."; text longer than the
//   column is Error(ValueTooLong) (Text sizes are bytes: 2 per character in Jet 4 and ACE, 1 in
//   Jet 3);
// - Yes/No takes True for any nonzero number, and False for Null (Yes/No cannot hold Null).
// Errors name the column and the value, e.g. "The value 70000 does not fit field 'Qty' (Integer)."
// Null stays Null otherwise; whether the column accepts Null is the caller's check.
Value convertForColumn(const Value& value, const ColumnDef& column);
// The same with the file's version deciding the bytes per Text character. The overload above
// infers it: only Jet 3 column definitions carry a code page.
Value convertForColumn(const Value& value, const ColumnDef& column, Version version);

}  // namespace jet::values
