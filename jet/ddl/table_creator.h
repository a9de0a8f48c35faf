// Laying out a new, empty table: its definition, the data page that holds its usage maps, and
// an empty root page for each index. The catalog rows that name the table are the caller's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/ddl/table_definition_writer.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::ddl {

struct NewIndex {
    std::string name;
    std::vector<IndexColumn> columns;  // column numbers are positions in NewTable::columns
    bool primaryKey = false;
    bool unique = false;
    bool required = false;     // no Null in any of its fields (primary keys always)
    bool ignoreNulls = false;  // rows whose key is all Null are left out
};

struct NewTable {
    std::string name;
    std::vector<NewColumn> columns;
    std::vector<NewIndex> indexes;
};

// Writes the table's pages at the end of the file and returns its definition page, which is
// also its id in the catalog. Every column's entry carries `collation` where a text column keeps
// its sort order (as Access writes it), but for Decimal columns, which keep precision and scale
// there; in Jet 3, whose names go in `codePage` (the database's), the catalog's columns serve as
// the model instead. A long definition continues on further pages. Throws Error(Unsupported),
// before writing, for a name the code page cannot hold.
std::uint32_t createTable(file::PageFile& file, const format::Format& fmt, const NewTable& table,
                          const Collation& collation, std::uint16_t codePage);

// The pieces of a definition, for the table's own definition and for an index added later:
// a name (its length, then UTF-16LE; in Jet 3 one byte of length and the characters in the
// database's code page, a character it cannot hold refused); a real index's entry, whose pages'
// usage map is the row at `map` and whose tree starts at `root`; a logical index's entry; the
// row of a new index's usage map, which holds its root; and an empty map's row.
std::vector<std::uint8_t> definitionName(const format::Format& fmt, const std::string& name,
                                         std::uint16_t codePage);
std::vector<std::uint8_t> realIndexEntry(const format::Format& fmt, const NewIndex& ix,
                                         RowPointer map, std::uint32_t root);
std::vector<std::uint8_t> logicalIndexEntry(const format::Format& fmt, const NewIndex& ix,
                                            std::uint32_t number, std::uint32_t realIndex);
std::vector<std::uint8_t> indexMapRow(std::uint32_t root);
std::vector<std::uint8_t> emptyMapRow();

// Puts a usage map row on the page of `table`'s own maps when it has room, else on a new page,
// and returns where it went.
RowPointer placeMapRow(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                       const std::vector<std::uint8_t>& row);

}  // namespace jet::ddl
