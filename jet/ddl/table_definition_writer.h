// Changing a table definition (TDEF), as ALTER TABLE does: a column added after the others, or a
// column taken out. Every other byte of the definition stays as Access wrote it. Column numbers
// are never reused: rows written before a column was added hold fewer columns and read it as
// Null, and the data a dropped column left in old rows is never read again.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"

namespace jet::ddl {

// The four bytes a text column's entry keeps for its sort order (the order, then its version
// three bytes on); all zero when none is given.
using Collation = std::array<std::uint8_t, 4>;

struct NewColumn {
    std::string name;
    ColumnType type = ColumnType::Long;
    std::uint16_t size = 0;  // bytes of storage; 0 for Memo and OLE
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    bool autoNumber = false;  // Long only: the table numbers new rows itself
    Collation collation{};    // Text and Memo: the sort order their index keys follow
};

// Access allows 255 columns a table, dropped ones counted until the file is compacted.
inline constexpr std::uint16_t kMaxColumns = 255;

// The definition may lie on several pages, and gains or loses pages as it grows or shrinks
// (writeDefinition). A Memo or OLE Object field gains two usage maps of its own (its pages, and
// those with room); dropping one takes its maps out of the definition and leaves its pages to
// compaction. An AutoNumber column is only marked so: numbering the rows already there is the
// caller's. A Jet 3 name goes in `codePage` (the database's). Throws Error(Unsupported)
// without writing for a name the code page cannot hold and for a definition whose recorded
// length runs past the 0xFFFF that closes its structures; Error(Corrupt) when the definition does
// not read as expected.
void addColumn(file::PageFile& file, const format::Format& fmt, const TableDef& table,
               const NewColumn& column, std::uint16_t codePage);
void dropColumn(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                const ColumnDef& column);

// Numbers the columns afresh, as compacting does: the column numbers, positions and variable
// slots close up in the order they had, the fixed fields lie one after the other in the order
// they had, and the table counts only the columns it has, so that dropped columns no longer
// count toward the 255. The index entries and the long-value fields' maps follow the new
// numbers. Rows written before no longer read right afterwards: the caller writes every row
// again. Throws Error(Corrupt) for a definition whose numbers do not add up.
void renumberColumns(file::PageFile& file, const format::Format& fmt, const TableDef& table);

}  // namespace jet::ddl
