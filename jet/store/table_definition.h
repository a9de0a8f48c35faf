// Table definitions (TDEF pages): the columns, the indexes and the usage maps of a table.
#pragma once

#include <cstdint>
#include <string>

#include "jet/format/schema.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/base/bytes.h"

namespace jet::store {

// Reads the definition that starts at `firstPage`, following its chain of pages. `name` is the
// catalog's name of the table. Columns come in column-number order. Throws Error(Corrupt)
// naming the table when the definition is damaged.
TableDef readTableDefinition(const file::PageFile& file, const format::Format& fmt,
                             std::uint32_t firstPage, const std::string& name,
                             std::uint16_t codePage);

// Flags of a column entry (Jet 4 and ACE).
inline constexpr std::uint8_t kColumnFixed = 0x01;
inline constexpr std::uint8_t kColumnNullable = 0x02;  // set on every column Access makes
inline constexpr std::uint8_t kColumnAutoLong = 0x04;

inline bool isLongValueType(ColumnType t) { return t == ColumnType::Memo || t == ColumnType::OLE; }
// Types whose values go in a row's variable part.
inline bool isVariableType(ColumnType t) {
    return t == ColumnType::Text || t == ColumnType::Binary || isLongValueType(t);
}

// A name as the definition stores it: UTF-16 (possibly compressed) for Jet 4 and ACE, the code
// page for Jet 3.
std::string decodeName(const format::Format& fmt, ByteSpan bytes, std::uint16_t codePage);

}  // namespace jet::store
