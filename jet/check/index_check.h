// One index of a table, against the table's rows. The tree: every page reached once, an index
// page owned by the table, each intermediate entry equal to the last entry below it, leaves
// all at one depth and linked in order, free-space figures right, and the pages in the index's
// usage map. The entries: in strictly ascending order (key bytes, then row pointer), each
// naming a live row, one entry per row except rows whose key is all Null when the index
// ignores Nulls, and, for key types index::appendKeyColumn encodes, each key equal to the
// encoding of its row's values.
#pragma once

#include <string>

#include "jet/check/check_context.h"
#include "jet/check/table_check.h"
#include "jet/check/table_layout.h"
#include "jet/database.h"

namespace jet::check {

// `position` is the index's place in layout.indexes (and in rows.nullKey); `def` may be null
// when the reader cannot decode the table.
void checkIndex(CheckContext& ctx, const std::string& table, const TableLayout& layout,
                std::size_t position, const TableDef* def, const TableRows& rows);

}  // namespace jet::check
