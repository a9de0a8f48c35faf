#include "jet/check/index_check.h"

#include <algorithm>
#include <optional>

#include "jet/check/map_reading.h"
#include "jet/check/page_set.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "jet/store/row_codec.h"
#include "jet/store/table_scan.h"

namespace jet::check {
namespace {

// Far deeper than any real index (a page holds hundreds of entries); deeper means garbage pages
// pointing on and on, which must not take the walk's recursion with them.
constexpr int kMaxDepth = 32;

std::string rowName(std::uint32_t page, std::uint32_t slot) {
    return "row " + std::to_string(slot) + " of page " + std::to_string(page);
}

std::string indexName(const TableDef* def, const IndexLayout& index) {
    std::string names;
    if (def != nullptr) {
        for (const auto& logical : def->indexes) {
            if (logical.dataNumber != index.number) continue;
            names += (names.empty() ? "" : "/") + logical.name;
        }
    }
    return names.empty() ? "#" + std::to_string(index.number) : quoted(names);
}

class IndexChecker {
public:
    IndexChecker(CheckContext& ctx, const std::string& table, const TableLayout& layout,
                 std::size_t position, const TableDef* def, const TableRows& rows)
        : ctx_(ctx),
          layout_(layout),
          index_(layout.indexes[position]),
          position_(position),
          def_(def),
          rows_(rows),
          name_("index " + indexName(def, index_) + " of table " + quoted(table)),
          visited_(ctx.file.pageCount()),
          seen_(rows.live.size(), false) {
        prepareKeyCheck();
    }

    void run() {
        walk(index_.rootPage, 0);
        checkLeafLinks();
        checkUsageMap();
        if (complete_ && rows_.complete) checkCoverage();
    }

private:
    void fault(FaultKind kind, const std::string& topic, const std::string& what) {
        ctx_.faults.add(kind, name_ + ": " + topic, name_ + ": " + what);
    }

    // The last entry of the subtree at `pageNo`, which its parent's entry must repeat.
    std::optional<index::IndexEntry> walk(std::uint32_t pageNo, int depth) {
        if (depth > kMaxDepth) {
            fault(FaultKind::IndexStructure, "tree", "its tree is deeper than any real index");
            complete_ = false;
            return std::nullopt;
        }
        if (pageNo == 0 || pageNo >= ctx_.file.pageCount()) {
            fault(FaultKind::IndexStructure, "tree",
                  "its tree refers to page " + std::to_string(pageNo) + ", outside the file");
            complete_ = false;
            return std::nullopt;
        }
        if (!visited_.insert(pageNo)) {
            fault(FaultKind::IndexStructure, "tree",
                  "its tree reaches page " + std::to_string(pageNo) + " twice");
            complete_ = false;
            return std::nullopt;
        }
        ctx_.claims.claim(pageNo, "the " + name_, ctx_.faults);
        const auto bytes = ctx_.file.page(pageNo);
        index::IndexPage page;
        try {
            page = index::readIndexPage(ctx_.fmt, *bytes);
        } catch (const Error& e) {
            fault(
                FaultKind::IndexStructure, "tree",
                "page " + std::to_string(pageNo) + " cannot be read as an index page: " + e.what());
            complete_ = false;
            return std::nullopt;
        }
        const std::string at = "page " + std::to_string(pageNo);
        if (page.owner != layout_.definitionPages.front()) {
            fault(FaultKind::PageOwnership, "tree",
                  at + " belongs to the table defined on page " + std::to_string(page.owner));
        }
        if (page.freeSpace != bytes->size() - page.entriesEnd) {
            fault(FaultKind::FreeSpace, "free space",
                  at + ": its free-space figure is " + std::to_string(page.freeSpace) +
                      " bytes, but " + std::to_string(bytes->size() - page.entriesEnd) +
                      " follow its last entry");
        }
        if (page.leaf) return visitLeaf(pageNo, page, depth);

        if (page.entries.empty() && page.tailPage == 0) {
            fault(FaultKind::IndexStructure, "tree",
                  at + " is an intermediate page with no entries");
        }
        std::optional<index::IndexEntry> last;
        for (std::size_t i = 0; i < page.entries.size(); ++i) {
            const index::IndexEntry& e = page.entries[i];
            if (i > 0 && index::compareEntries(page.entries[i - 1], e) >= 0) {
                fault(
                    FaultKind::IndexOrder, "order",
                    at + ": entry " + std::to_string(i) + " does not sort after the one before it");
            }
            last = walk(e.childPage, depth + 1);
            if (last && index::compareEntries(*last, e) != 0) {
                fault(FaultKind::IndexStructure, "tree",
                      at + ": entry " + std::to_string(i) + " does not repeat the last entry of " +
                          "page " + std::to_string(e.childPage) + " below it");
            }
            last = e;
        }
        if (page.tailPage != 0) last = walk(page.tailPage, depth + 1);
        return last;
    }

    std::optional<index::IndexEntry> visitLeaf(std::uint32_t pageNo, const index::IndexPage& page,
                                               int depth) {
        if (!leafDepth_) leafDepth_ = depth;
        if (*leafDepth_ != depth) {
            fault(FaultKind::IndexStructure, "tree",
                  "leaf page " + std::to_string(pageNo) + " is at depth " + std::to_string(depth) +
                      ", others at " + std::to_string(*leafDepth_));
        }
        if (page.tailPage != 0) {
            fault(FaultKind::IndexStructure, "tree",
                  "leaf page " + std::to_string(pageNo) + " names a tail page");
        }
        leaves_.push_back(Leaf{pageNo, page.prevPage, page.nextPage});
        for (const auto& e : page.entries) visitEntry(pageNo, e);
        if (page.entries.empty()) return std::nullopt;
        return page.entries.back();
    }

    void visitEntry(std::uint32_t pageNo, const index::IndexEntry& e) {
        ++entries_;
        const auto entry = [&] {
            return "the entry on page " + std::to_string(pageNo) + " for " +
                   rowName(e.dataPage, e.dataRow);
        };
        const bool sameKey = previous_ && previous_->key == e.key;
        if (previous_ && index::compareEntries(*previous_, e) >= 0) {
            fault(FaultKind::IndexOrder, "order",
                  entry() + " does not sort after the entry before it (for " +
                      rowName(previous_->dataPage, previous_->dataRow) + ")");
        }
        previous_ = e;

        const auto found = rows_.live.number(e.dataPage, e.dataRow);
        if (!found) {
            if (rows_.complete) {
                fault(FaultKind::IndexEntries, "entries without rows",
                      entry() + ": that is not a live row of the table");
            }
            return;
        }
        const std::uint64_t i = *found;
        if (seen_[i]) {
            fault(FaultKind::IndexEntries, "rows indexed twice",
                  rowName(e.dataPage, e.dataRow) + " has more than one entry");
        }
        seen_[i] = true;
        if (index_.ignoreNulls() && knowsNulls() && rows_.nullKey[position_][i]) {
            fault(FaultKind::IndexEntries, "entries for Null keys",
                  entry() + ": the row's key is Null, which the index leaves out");
        }
        // A unique index admits any number of rows whose key is all Null, and no other
        // repeated key.
        if (sameKey && index_.unique() && knowsNulls() && !rows_.nullKey[position_][i]) {
            fault(FaultKind::IndexEntries, "repeated keys",
                  entry() + ": the index is unique, but the entry before it has the same key");
        }
        if (!keyColumns_.empty() && !keyMatches(e)) {
            fault(FaultKind::IndexKey, "keys",
                  entry() + ": its key does not match the row's values");
        }
    }

    // Whether the entry's key is the encoding of its row's values. A row that cannot be read
    // is reported with the table's rows, not here.
    bool keyMatches(const index::IndexEntry& e) {
        try {
            ByteSpan bytes;
            const auto holder =
                store::liveRowBytes(ctx_.file, ctx_.fmt, RowLocation{e.dataPage, e.dataRow}, bytes);
            decoder_->decode(bytes, values_);
        } catch (const Error&) {
            return true;
        }
        std::vector<std::uint8_t> expected;
        for (const auto& [column, position] : keyColumns_) {
            if (!index::appendKeyColumn(expected, column, values_[position])) return true;
        }
        return expected == e.key;
    }

    bool knowsNulls() const { return position_ < rows_.nullKey.size(); }

    void prepareKeyCheck() {
        if (def_ == nullptr) return;
        for (const auto& ic : index_.columns) {
            const auto c =
                std::find_if(def_->columns.begin(), def_->columns.end(),
                             [&](const ColumnDef& d) { return d.number == ic.columnNumber; });
            if (c == def_->columns.end()) {
                fault(FaultKind::IndexStructure, "columns",
                      "it names column number " + std::to_string(ic.columnNumber) +
                          ", which the table does not have");
                keyColumns_.clear();
                return;
            }
            const auto column = index::storedKeyColumnFor(*c, ic.ascending);
            if (!column) {
                keyColumns_.clear();
                return;
            }
            keyColumns_.emplace_back(*column, static_cast<std::size_t>(c - def_->columns.begin()));
        }
        if (!keyColumns_.empty()) decoder_.emplace(ctx_.file, ctx_.fmt, *def_, ctx_.codePage);
    }

    // Leaves in tree order must form the doubly linked list a range scan follows.
    void checkLeafLinks() {
        for (std::size_t i = 0; i < leaves_.size(); ++i) {
            const std::uint32_t prev = i == 0 ? 0 : leaves_[i - 1].page;
            const std::uint32_t next = i + 1 == leaves_.size() ? 0 : leaves_[i + 1].page;
            if (leaves_[i].prev != prev || leaves_[i].next != next) {
                fault(FaultKind::IndexStructure, "leaf links",
                      "leaf page " + std::to_string(leaves_[i].page) + " links to pages " +
                          std::to_string(leaves_[i].prev) + " and " +
                          std::to_string(leaves_[i].next) + ", but its neighbours are pages " +
                          std::to_string(prev) + " and " + std::to_string(next));
            }
        }
    }

    void checkUsageMap() {
        if (index_.usedPagesRow == 0) return;
        MapReading map;
        try {
            map = readMap(ctx_.file, ctx_.fmt, RowPointer::from(index_.usedPagesRow));
        } catch (const Error& e) {
            fault(FaultKind::Unreadable, "usage map",
                  std::string("its usage map cannot be read: ") + e.what());
            return;
        }
        for (const std::uint32_t p : map.mapPages) {
            ctx_.claims.claim(p, "the usage map of the " + name_, ctx_.faults);
        }
        PageSet listed(ctx_.file.pageCount());
        listed.insertAll(map.pages);
        visited_.forEach([&](std::uint32_t p) {
            if (!listed.contains(p)) {
                fault(FaultKind::UsageMap, "usage map",
                      "its page " + std::to_string(p) + " is missing from its usage map");
            }
        });
        for (const std::uint32_t p : map.pages) {
            if (!visited_.contains(p)) {
                fault(FaultKind::UsageMap, "usage map",
                      "its usage map lists page " + std::to_string(p) +
                          ", which its tree does not reach");
            }
        }
    }

    // One entry per live row, but for the rows whose all-Null key the index leaves out.
    void checkCoverage() {
        if (index_.ignoreNulls() && !knowsNulls()) return;
        std::size_t expected = 0;
        rows_.live.forEach([&](std::uint64_t i, std::uint32_t page, std::uint16_t slot) {
            if (index_.ignoreNulls() && rows_.nullKey[position_][i]) return;
            ++expected;
            if (!seen_[i]) {
                fault(FaultKind::IndexEntries, "rows without entries",
                      rowName(page, slot) + " has no entry");
            }
        });
        if (entries_ != expected) {
            fault(FaultKind::IndexEntries, "entry count",
                  "it has " + std::to_string(entries_) + " entries, but the table has " +
                      std::to_string(expected) + " rows it must index");
        }
    }

    struct Leaf {
        std::uint32_t page, prev, next;
    };

    CheckContext& ctx_;
    const TableLayout& layout_;
    const IndexLayout& index_;
    const std::size_t position_;
    const TableDef* def_;
    const TableRows& rows_;
    const std::string name_;

    PageSet visited_;
    std::vector<Leaf> leaves_;
    std::optional<int> leafDepth_;
    bool complete_ = true;
    std::size_t entries_ = 0;
    std::optional<index::IndexEntry> previous_;
    std::vector<bool> seen_;

    std::vector<std::pair<index::KeyColumn, std::size_t>> keyColumns_;
    std::optional<store::RowDecoder> decoder_;
    std::vector<Value> values_;
};

}  // namespace

void checkIndex(CheckContext& ctx, const std::string& table, const TableLayout& layout,
                std::size_t position, const TableDef* def, const TableRows& rows) {
    IndexChecker(ctx, table, layout, position, def, rows).run();
}

}  // namespace jet::check
