// How a calculated column (ACE 2010 and later) stores its result. The column is always
// variable-length; its bytes are a wrapper: 16 bytes Access keeps for itself (zeros in every
// file seen), the result's length as 4 bytes, the result, and 3 more bytes of zeros. The result
// is in the column's result type, with two types laid out their own way: Yes/No is one byte
// (0xFF or 0x00) instead of a null-mask bit, and Decimal is 16 bytes (a 2-byte length, scale,
// sign, then the high 32 and the low 64 bits of the magnitude). A Memo result is a long value
// whose bytes are the wrapper.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/format/schema.h"

namespace jet::store {

// The value of a wrapper; a result of length 0 is Null, except for text and Yes/No.
Value decodeCalculatedValue(const ColumnDef& column, ByteSpan wrapped);

// The wrapper for a value already converted to the column's result type. Throws
// Error(Unsupported) for a result type this engine does not write.
std::vector<std::uint8_t> encodeCalculatedValue(const ColumnDef& column, const Value& value);

// Whether a Null result is stored, as an empty wrapper: Access does so for number and date
// results. A Null text is left out of the row instead, since its empty wrapper reads as "".
bool storesNullResult(const ColumnDef& column);

}  // namespace jet::store
