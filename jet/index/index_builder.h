// One index's B-tree written whole from its entries in order, as a table written afresh needs
// it: leaves are filled one after another as far as each page takes (the prefix every entry of
// a page shares is left out once the entries would not fit whole, as Access does), and each
// page that fills is named in the level above, which fills the same way, so the tree grows
// from the bottom up with one page per level being filled at any time.
//
// The shape is the one IndexTree keeps (see index_tree.h): leaves linked from first to last,
// intermediate pages linked only to the pages that share their parent, an intermediate page's
// last child kept as its tail, and the top page written to the root page the table definition
// names. Every other page is taken with store::appendPage and marked in the index's map.
//
// A page is written once its successor on the same level is known (for its link); memory is a
// few pages per level.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/index/index_page.h"
#include "jet/index/index_tree.h"

namespace jet::index {

class IndexBuilder {
public:
    // REQUIRES: the index's root is an empty leaf and its map marks nothing else (as a table
    // written afresh leaves it). Throws Error(Unsupported), naming the index, when the root is
    // not an empty leaf.
    IndexBuilder(file::PageFile& file, const format::Format& fmt, IndexStorage storage);

    // REQUIRES: entries in compareEntries order, each after the one before.
    void add(IndexEntry entry);
    // Writes the pages still being filled, the top one to the root.
    void finish();

    std::uint32_t pagesWritten() const { return pagesWritten_; }

private:
    struct Closed {
        std::uint32_t pageNo = 0;
        IndexPage page;
        std::uint64_t parent = 0;  // which page of the level above names it
    };
    struct Level {
        std::vector<IndexEntry> entries;  // leaves: the entries; above: one per child
        std::size_t unsharedBytes = 0;
        std::uint64_t filling = 0;      // how many pages of this level came before this one
        std::optional<Closed> waiting;  // written once the next page's number is known
    };

    // Adds an entry (or a child, named by its last entry) to the page filling on `level`,
    // closing that page first when the entry would not fit; returns which page took it.
    std::uint64_t push(std::size_t level, IndexEntry entry);
    // Whether a level's entries fit one page, each of them stored.
    bool fits(const Level& l, bool leaf) const;
    // The page filling on `level` as it is to be written; the level starts an empty page.
    IndexPage takePage(std::size_t level);
    // Gives the page filling on `level` a number, names it in the level above, and writes the
    // page before it on the level, now that its link can be set.
    void close(std::size_t level);
    void writeWaiting(std::size_t level);
    void write(std::uint32_t pageNo, const IndexPage& page);

    file::PageFile& file_;
    const format::Format& fmt_;
    IndexStorage storage_;
    std::vector<Level> levels_;
    std::uint32_t pagesWritten_ = 0;
    bool finished_ = false;
};

}  // namespace jet::index
