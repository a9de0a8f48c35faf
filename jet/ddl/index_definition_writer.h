// Adding an index to a table's definition, and taking one out: CREATE INDEX and DROP INDEX.
// The entries go where Access keeps them (a row-count block, the real index's entry, the
// logical index's entry and its name), and every other byte stays as it was.
#pragma once

#include <cstdint>

#include "jet/ddl/table_creator.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"

namespace jet::ddl {

// Adds `index` (column numbers are the table's) with index data of its own and an empty tree:
// a root page and a usage map row, on the page of the table's own maps when it has room, else
// on a new page. The caller fills the tree. A Jet 3 name goes in `codePage` (the database's);
// Error(Unsupported) for one it cannot hold.
void addIndex(file::PageFile& file, const format::Format& fmt, const TableDef& table,
              const NewIndex& index, std::uint16_t codePage);

// Takes the logical index `index` out of the definition, and its index data with it when no
// other logical index shares that data (the data's pages go back to the file). The indexes
// after it move up one number, so the caller refuses tables whose index numbers others rely
// on (relationships).
void dropIndex(file::PageFile& file, const format::Format& fmt, const TableDef& table,
               const IndexDef& index);

}  // namespace jet::ddl
