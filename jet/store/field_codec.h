// Decoding of single column values from their stored bytes: the fixed-size types, text in both
// encodings (Jet 3 code pages, Jet 4/ACE UTF-16 with Access's compression), Decimal, GUID and
// Date/Time Extended. Row layout (null mask, offsets) is the row codec's business, not this one's.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "jet/base/bytes.h"
#include "jet/base/text_codec.h"
#include "jet/base/value.h"

namespace jet::store {

// The fixed-size types: Byte, Integer, Long, BigInt, Currency, Single, Double, DateTime, GUID,
// Decimal (17 bytes: sign byte then 16 bytes of magnitude), Complex (4-byte id),
// DateTimeExtended (42 bytes of ASCII). `bytes` is exactly the column's stored size; throws
// jet::Error(Corrupt) when it is too short for the type. YesNo lives in the null mask and is
// not decoded here. `scale` is the column's scale (Decimal only).
Value decodeFixed(ColumnType type, ByteSpan bytes, std::uint8_t scale = 0);

Decimal decodeDecimal(ByteSpan bytes17, std::uint8_t scale);
DateTimeExtended decodeDateTimeExtended(ByteSpan bytes);

}  // namespace jet::store
