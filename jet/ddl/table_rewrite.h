// Writing a table's rows afresh, densely: the rows are set aside (row_spill.h), the table's data,
// long-value and index pages go back to the file, and the rows come back one after another into
// the pages the file has free, lowest first, with every index built again from them. Compacting
// does this to every table it can, and so does a statement that would otherwise move most of a
// table's rows and leave forwarding pointers and holes behind. All of it happens inside the
// caller's write, so it is whole or not at all.
//
// The definition page stays where it is (its number is the table's id), and so do the pages that
// hold the table's usage map rows and each index's root.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"
#include "jet/store/row_encoder.h"
#include "jet/store/row_spill.h"

namespace jet::ddl {

class TableRewrite {
public:
    // Why the table cannot be rewritten with certainty (a field of a type this engine does not
    // know, an index whose keys it cannot build), in words that follow "it ..."; empty when it
    // can be.
    static std::string obstacle(const TableDef& table);

    // Throws Error(Unsupported) with the obstacle, naming the table, and when a usage map of the
    // table marks a page that another table owns.
    TableRewrite(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                 std::uint16_t codePage);

    // A row as it is to be written, values in the table's column order (AutoNumbers given).
    // Until finish(), nothing of the file has changed.
    void add(const std::vector<Value>& row) { rows_.add(row); }
    // Throws the error writing `row` would meet (a value this engine cannot write), while the
    // table is still as it was; finish() would meet it after giving the table's pages back.
    void requireWritable(const std::vector<Value>& row) const;
    std::uint64_t rows() const { return rows_.size(); }

    struct Outcome {
        TableDef table;                 // as now defined
        std::uint32_t pagesBefore = 0;  // data, long-value and index pages given back
        std::uint32_t pagesAfter = 0;   // and taken again
    };
    // Gives the table's pages back, numbers its columns afresh when `renumber` is set
    // (ddl::renumberColumns), writes the rows added, rebuilds the indexes and sets the stored row
    // count. `progress` is called after every row written, with their count. Throws
    // Error(DuplicateKey) when a unique index would hold a key twice; the caller's write then
    // rolls everything back.
    Outcome finish(bool renumber, const std::function<void(std::uint64_t)>& progress = {});

private:
    // Everything the table's maps mark, less the pages that stay.
    std::set<std::uint32_t> pagesToGiveBack() const;
    void emptyMaps();
    TableDef renumbered() const;

    file::PageFile& file_;
    const format::Format& fmt_;
    const TableDef& table_;
    std::uint16_t codePage_;
    store::RowEncoder encoder_;
    std::set<std::uint32_t> giveBack_;
    store::RowSpill rows_;
};

}  // namespace jet::ddl
