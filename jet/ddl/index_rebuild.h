// The indexes a statement would change an entry of in most rows, built again instead: moving one
// row's entry is a search, a removal and an insertion in the tree, and a statement that moves the
// entries of a whole table does better to empty the indexes first and build them once it is done,
// in key order, from the rows as it left them (index::IndexFill::Rebuild). The indexes holding
// none of the changed columns stay as they are, and the statement keeps them in step row by row.
// All of it happens inside the caller's write.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"

namespace jet::ddl {

// Each index data of `table` once (several logical indexes may share one): its first logical
// index.
std::vector<const IndexDef*> indexData(const TableDef& table);
// Whether index `index` of `table` has a column `columns` marks (in the table's column order).
bool holdsAnyOf(const TableDef& table, const IndexDef& index, const std::vector<bool>& columns);

// Leaves index data `data` of the table defined on `definitionPage` empty: its root an empty leaf,
// its usage map marking the root alone. The pages it held are the caller's to give back.
void emptyIndexData(file::PageFile& file, const format::Format& fmt, const IndexDef& data,
                    std::uint32_t definitionPage);

class IndexRebuild {
public:
    // The index data of `table` whose keys hold a column `changed` marks (in the table's column
    // order). Throws Error(Unsupported), naming the table, when such an index's usage map marks
    // a page that is not one of the table's; nothing has changed then.
    IndexRebuild(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                 const std::vector<bool>& changed, std::uint16_t codePage);

    // Whether no index holds a changed column.
    bool empty() const { return rebuilt_.indexes.empty(); }
    // The table with only the indexes that are not built again: those the statement keeps in
    // step row by row.
    const TableDef& others() const { return others_; }

    // Empties the indexes and gives their pages back; before the statement changes a row.
    void start();
    // Builds them from the table's rows as they are now, and zeroes the pages given back that
    // were not taken again. Throws Error(DuplicateKey) naming the first unique index that would
    // hold a key twice; the caller's write then puts everything back.
    void finish();

private:
    file::PageFile& file_;
    const format::Format& fmt_;
    std::uint16_t codePage_;
    TableDef rebuilt_;  // the table with only the indexes built again
    TableDef others_;
    std::set<std::uint32_t> giveBack_;
};

}  // namespace jet::ddl
