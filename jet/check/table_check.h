// One table's data: its usage maps against its pages, each data page's slot directory and free
// space, its rows (forwarding pointers, column counts, long values, that they decode), and its
// row count. Leaves behind what the index checks need to know about the rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/check/check_context.h"
#include "jet/check/live_rows.h"
#include "jet/check/table_layout.h"
#include "jet/database.h"

namespace jet::check {

struct TableRows {
    bool complete = false;  // every data page could be read
    LiveRows live;
    // Per index of the layout, by the number of the live row: whether every key column is
    // Null. Empty when the rows could not be decoded; kept only for the indexes that ask
    // (unique ones and those that ignore Nulls), empty for the others.
    std::vector<std::vector<bool>> nullKey;
};

// Whether the index checks need to know which rows have an all-Null key for this index.
inline bool needsNullKeys(const IndexLayout& index) {
    return index.unique() || index.ignoreNulls();
}

// `def` is the reader's definition, or null when the reader cannot decode the table's rows
// (then only the structure is checked).
TableRows checkTableData(CheckContext& ctx, const std::string& name, const TableLayout& layout,
                         const TableDef* def);

}  // namespace jet::check
