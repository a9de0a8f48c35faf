// The indexes of one table kept in step with its rows during a write: the entries of a changed
// row move to its new key, a new row gets its entries, a removed row loses them, and at the end
// of the statement every unique index is checked on the state the statement left.
//
// Several logical indexes (a primary key and a plain index on the same column, say) may share
// one index's data; the data is kept once.
//
// Changed leaves are held decoded by their trees (IndexTree::keepLeaves) and written to the page
// file by finish() and removeRows(), one of which ends every statement's use of the indexes,
// before its write commits and before anything else reads the indexes.
//
// A table written afresh, whose indexes were all emptied, fills them in another way
// (IndexFill::Rebuild): insertRow() only gathers the entries (entry_sorter.h), and finish()
// writes each index's tree whole from them in key order (index_builder.h), finding a unique
// index's repeated keys side by side on the way.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"
#include "jet/index/entry_sorter.h"
#include "jet/index/index_key.h"
#include "jet/index/index_tree.h"

namespace jet::index {

enum class IndexFill {
    EntryByEntry,  // rows' entries go into the trees as they come
    Rebuild,       // REQUIRES: every index's root an empty leaf, its map marking nothing else
};

class TableIndexes {
public:
    TableIndexes(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                 IndexFill fill = IndexFill::EntryByEntry);

    // Why an index could not follow new values in the columns marked `changed`: the first
    // index holding one of them whose key has a column this engine cannot build keys for
    // ("it is part of index 'Name', and changing index keys that hold Memo fields is not
    // supported yet"); empty when every affected index can.
    static std::string unsupportedChange(const TableDef& table, const std::vector<bool>& changed);

    // A row changed from `before` to `after` (values in the table's column order); only the
    // indexes holding a column marked in `changed` are touched. Like insertRow, throws
    // Error(Unsupported) for a text its keys cannot hold (see text_key.h); the statement's
    // journal then puts back what it wrote.
    void updateRow(RowLocation row, const std::vector<Value>& before,
                   const std::vector<Value>& after, const std::vector<bool>& changed);
    // A new row gets an entry in every index. The only change IndexFill::Rebuild takes.
    void insertRow(RowLocation row, const std::vector<Value>& values);
    // Removes the entries of rows that are going (packed page << 8 | row, any order): one walk
    // along each index, whatever its key types.
    void removeRows(std::vector<std::uint32_t> rows);

    // Writes the changed leaves. Throws Error(DuplicateKey) naming the first unique index that
    // holds a key twice after the statement's changes (keys that are all Null excepted).
    void finish();

private:
    struct Maintained {
        Maintained(file::PageFile& file, const format::Format& fmt, IndexStorage storage)
            : tree(file, fmt, std::move(storage)) {}
        IndexTree tree;
        std::string label;  // "index 'PrimaryKey' of table 'Orders'"
        std::string name;   // the index's name, for messages
        std::vector<std::pair<KeyColumn, std::size_t>> columns;  // with positions in the row
        std::vector<std::uint16_t> columnNumbers;
        bool encodable = true;
        bool unique = false;
        bool ignoreNulls = false;
        bool requiresValues = false;  // primary key, or Null not allowed
        std::vector<std::uint8_t> allNullKey;
        std::vector<std::vector<std::uint8_t>> insertedKeys;
        bool tooManyToTrack = false;
        // The entries an UPDATE's rows give up and take, put into the tree a batch at a time
        // in key order, so that each leaf is visited once per batch, not once per row.
        std::vector<IndexEntry> leaving;
        std::vector<IndexEntry> arriving;
    };
    struct Key {
        std::vector<std::uint8_t> bytes;
        bool anyNull = false;
        bool allNull = false;
    };

    Key keyOf(const Maintained& index, const std::vector<Value>& values) const;
    // The row's entry, checked and its key tracked for finish(); nullopt when the index leaves
    // the row out (an all-Null key it ignores).
    std::optional<IndexEntry> entryFor(Maintained& index, RowLocation row,
                                       const std::vector<Value>& values);
    // Puts the batched entries of an UPDATE into the tree.
    static void applyBatch(Maintained& index);
    // Writes every index's tree from the entries gathered (IndexFill::Rebuild).
    void build();
    [[noreturn]] void duplicateIn(const Maintained& index) const;

    file::PageFile& file_;
    const format::Format& fmt_;
    const TableDef& table_;
    const std::size_t maxKeyBytes_;
    std::deque<Maintained> indexes_;         // in place: a tree is neither copied nor moved
    std::unique_ptr<EntrySorter> gathered_;  // IndexFill::Rebuild: every index's entries
};

}  // namespace jet::index
