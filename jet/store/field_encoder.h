// Encoding single column values into their stored bytes: the inverse of field_codec for the
// types a write can produce. Values arrive already converted to the column's type.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/format/schema.h"

namespace jet::store {

// Writes the fixed-size value into `out`, which is exactly the column's stored size. Throws
// Error(Unsupported) for a type this engine does not write.
void encodeFixed(const ColumnDef& column, const Value& value, std::span<std::uint8_t> out);

// The bytes a value of a fixed-size type takes (a Decimal 17, a Long 4, ...); 0 for the others.
std::size_t fixedValueSize(ColumnType type);

// Jet 4 / ACE text: Access's compressed form when the column asks for it and every character
// fits in one byte, UTF-16LE otherwise.
std::vector<std::uint8_t> encodeUnicodeText(const std::string& utf8, bool compress);

// The number of UTF-16 code units `utf8` needs, which is what Text column sizes count.
std::size_t utf16Length(const std::string& utf8);

}  // namespace jet::store
