// Table definitions (TDEF pages): the columns, the indexes and the usage maps of a table.
//
// A definition is one string of bytes laid over a chain of pages (table_definition_pages.h says
// how it is cut); the offsets below count from the first page's byte 0. Numbers are
// little-endian. ACE is laid out as Jet 4; Jet 3 is only read. Row pointers name a usage map
// row (usage_map.h): the slot in the low byte, the page above it.
//
// The header block (Format::tdef*):
//
//   OFFSET        SIZE  DESCRIPTION
//   Jet 3 Jet 4
//     0     0       1   page type 0x02
//     1     1       1   0x01
//     2     2       2   Jet 4: the first page's free space less 8 (Jet 3: "VC"; not read)
//     4     4       4   next page of the chain, 0 for none
//     8     8       4   length of the definition
//     -    12       4   unknown (0x0659 in every definition Access makes)
//    12    16       4   row count
//    16    20       4   the last AutoNumber given; the next row gets one more
//     -    24       1   1 on every table Access makes (its AutoNumbers need it); not read
//     -    25      15   not read (zero in tables this engine makes)
//    20    40       1   table type: 0x4E a user table, 0x53 a system table
//    21    41       2   max columns: the next column number, dropped columns counted
//    23    43       2   variable columns
//    25    45       2   C, the columns
//    27    47       4   L, the logical indexes (the indexes a user sees)
//    31    51       4   R, the real indexes (the data of the logical ones; several may share one)
//    35    55       4   usage map of the table's pages (row pointer)
//    39    59       4   usage map of its pages with free space (row pointer)
//    43    63           end of the header block
//
// Then these parts, each right after the one before:
//
//   SIZE (Jet 3 / 4)   DESCRIPTION
//   R x  8 / 12        per real index: not read (zero in tables this engine makes)
//   C x 18 / 25        column entries (below), in Access's order; readers sort them by number
//   C names            the column names, in entry order
//   R x 39 / 52        real index entries (below)
//   L x 20 / 28        logical index entries (below)
//   L names            the index names
//   10 each            per long-value column: its number (2), the usage maps of its pages and
//                      of its pages with free space (row pointers, 4 each)
//   2                  0xFFFF
//
// A name is its length in bytes (1 byte in Jet 3, 2 in Jet 4) and then its characters (the
// code page in Jet 3; UTF-16LE in Jet 4, maybe compressed as text columns are).
//
// A column entry (Format::col*):
//
//   OFFSET        SIZE  DESCRIPTION
//   Jet 3 Jet 4
//     0     0       1   type (ColumnType)
//     -     1       4   unknown (0x0659, as at 12 in the header)
//     1     5       2   column number: its bit in a row's null mask; never reused
//     3     7       2   variable index: its place in a row's offset table (variable columns)
//     5     9       2   position among the columns (read only to give an added column the next)
//     7     -       2   not read
//     9     -       2   Text and Memo: sort order (no version is given)
//    11     -       2   precision (11) and scale (12); Text and Memo: the column's code page
//     -    11       4   Decimal: precision (11), scale (12); Text and Memo: sort order (11-12)
//                       and its version (14); ACE complex columns: the complex type id
//    13    15       1   flags: 0x01 fixed length, 0x02 nullable, 0x04 AutoNumber (Long),
//                       0x40 AutoNumber (GUID), 0x80 hyperlink (Memo)
//     -    16       1   more flags: 0x01 compressed text, 0xC0 calculated
//     -    17       4   not read (zero)
//    14    21       2   fixed offset: where the column lies in a row's fixed area
//    16    23       2   length in bytes (0 for Memo and OLE)
//    18    25           end of the entry
//
// A real index entry: the columns an index is built on and where its pages are.
//
//   OFFSET        SIZE  DESCRIPTION
//   Jet 3 Jet 4
//     -     0       4   unknown (0x0783 in every definition Access makes)
//     0     4  10 x 3   key columns: column number (2; 0xFFFF for an unused place) and order
//                       (1; 0x01 ascending, 0x00 descending)
//    30    34       4   usage map of the index's pages (row pointer)
//    34    38       4   the index's root page
//     -    42       4   not read
//    38    46       1   flags: 0x01 unique, 0x02 ignore Nulls, 0x08 required (Access adds 0x80)
//     -    47       5   not read
//    39    52           end of the entry
//
// A logical index entry: an index as a user sees it, which names its real index.
//
//   OFFSET        SIZE  DESCRIPTION
//   Jet 3 Jet 4
//     -     0       4   unknown (0x0659)
//     0     4       4   index number
//     4     8       4   its real index, counted in the order of the real index entries
//     8    12       1   relationship: the other table's side (not read here)
//     9    13       4   relationship: the other index's number, 0xFFFFFFFF for none (not read)
//    13    17       4   relationship: the other table's definition page (not read)
//    17    21       1   relationship: cascade updates (not read)
//    18    22       1   relationship: cascade deletes (not read)
//    19    23       1   kind: 0x01 primary key, 0x02 foreign key
//     -    24       4   not read
//    20    28           end of the entry
#pragma once

#include <cstdint>
#include <string>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"

namespace jet::store {

// Reads the definition that starts at `firstPage`, following its chain of pages. `name` is the
// catalog's name of the table. Columns come in column-number order. Throws Error(Corrupt)
// naming the table when the definition is damaged.
TableDef readTableDefinition(const file::PageFile& file, const format::Format& fmt,
                             std::uint32_t firstPage, const std::string& name,
                             std::uint16_t codePage);

// A table with a field of a type this engine does not know is read, the field as the bytes its
// rows hold, but never changed: how a changed row, index key or definition would have to hold
// such a field is not known. Throws Error(Unsupported) naming the file, the table and the
// field; `change` says what was refused ("update", "add records to", ...).
void requireKnownColumnTypes(const TableDef& table, const std::string& path, const char* change);

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
