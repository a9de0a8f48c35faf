// One index's B-tree, changed entry by entry inside a write: entries go in and out of the leaf
// pages, full pages split, emptied pages leave the tree, and the intermediate pages above are
// kept naming the last entry of each page below them.
//
// The shape follows what Access writes: leaves are linked from first to last; intermediate
// pages are linked only to the pages that share their parent; an intermediate page with more
// than one child leaves its last child unnamed, as its tail; the root never moves, since the
// table definition names it, so a full root hands its entries down to two new pages.
//
// A leaf takes one entry after another when rows are added in key order; after keepLeaves(),
// changed leaves stay decoded in the tree, which owns them, and are encoded and written to the
// page file once: by flush(), which the tree's owner calls before the write commits, or when
// the tree makes room among the pages it holds decoded. Until then the page file holds the
// leaves' older bytes, so nothing but this tree may read the index's pages in between. Nothing
// does: during a write, index pages are read by the tree that changes them (its own reads go
// through the decoded leaves, and a neighbour link it changes on a held leaf is changed there);
// TableIndexes::finish() and removeRows() flush before the unique checks that read leaves, and
// before a relationship's cascade builds trees of its own over the same table. A tree that goes
// away still holding changed leaves fails the write (PageFile::failWrite), which can then only
// be rolled back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/index/index_page.h"

namespace jet::index {

// Where one index keeps its tree.
struct IndexStorage {
    std::uint32_t rootPage = 0;
    std::uint32_t usedPagesRow = 0;  // row pointer of the map of the index's pages; 0 for none
    std::uint32_t ownerPage = 0;     // the table's definition page, which every index page names
    std::string name;                // for messages: "index 'PrimaryKey' of table 'Orders'"
};

class IndexTree final {
public:
    IndexTree(file::PageFile& file, const format::Format& fmt, IndexStorage storage);
    ~IndexTree();
    IndexTree(const IndexTree&) = delete;
    IndexTree& operator=(const IndexTree&) = delete;

    // Changed leaves are held decoded from now on; the owner calls flush() before the write
    // commits, and before anything else reads the index.
    void keepLeaves() { keepLeaves_ = true; }
    // Writes the leaves held changed to the page file.
    void flush();

    // Adds a leaf entry. Throws Error(Corrupt) when the index already holds that entry, and
    // Error(Unsupported) when a new page is needed that the usage maps cannot take.
    void insert(const IndexEntry& entry);
    // Removes a leaf entry; Error(Corrupt) when the index lacks it (it and its table disagree).
    void remove(const IndexEntry& entry);
    // Removes the entries of the given rows (packed page << 8 | row, sorted), whatever their
    // keys: one walk along the leaves.
    void removeRows(const std::vector<std::uint32_t>& rows);

    // How many entries hold exactly `key`, counting no further than `limit`.
    std::size_t countKey(const std::vector<std::uint8_t>& key, std::size_t limit);
    // The first key that two neighbouring entries share, ignoring `allowed`; nullopt when none.
    std::optional<std::vector<std::uint8_t>> findRepeatedKey(
        const std::vector<std::uint8_t>& allowed);

    const IndexStorage& storage() const { return storage_; }

private:
    struct Decoded {
        file::PageRef source;  // the bytes it was decoded from
        IndexPage page;
        bool changed = false;  // changed since: newer than the page file's bytes
        // A leaf's entries' bytes with no shared prefix, kept up to date as entries come and
        // go: the most they take, so that a leaf well within a page needs no exact count.
        std::size_t unsharedBytes = 0;
    };
    // Whether the decoded leaf `d` fits its page.
    bool leafFits(const Decoded& d) const;
    // A child of an intermediate page with the last entry below it; the tail has none stored.
    struct Child {
        std::uint32_t page = 0;
        std::optional<IndexEntry> last;
    };
    // What a change below means for the page above.
    struct Change {
        bool emptied = false;               // the page left the tree
        std::optional<IndexEntry> newLast;  // the subtree now ends with this entry
        std::optional<Child> splitOff;      // a new page before it, for the parent to name
    };

    Change insertAt(std::uint32_t pageNo, const IndexEntry& entry, int depth);
    Change afterBelow(std::uint32_t pageNo, std::size_t i, const Change& below);
    std::size_t childIndex(std::uint32_t pageNo, const IndexPage& page,
                           const IndexEntry& entry) const;
    static std::uint32_t childPage(const IndexPage& page, std::size_t i);
    Change storeLeaf(std::uint32_t pageNo, Change out);
    Change removeAt(std::uint32_t pageNo, const IndexEntry& entry, int depth);
    // Brings an intermediate page's children up to date with a change in child `i`.
    void applyBelow(std::vector<Child>& children, std::size_t i, const Change& below,
                    Change& out) const;
    // Holds a changed leaf, decoded, or writes it.
    void storeDecoded(std::uint32_t pageNo);
    // Encodes a changed page and writes it to the page file.
    void writeDecoded(Decoded& decoded, std::uint32_t pageNo);
    // Forgets a decoded page; a changed one is about to be written by the caller.
    void dropDecoded(std::uint32_t pageNo);
    // Writes the page back, splitting it (or, for the root, nesting its entries in two new
    // pages) when its entries no longer fit.
    void storeOrSplit(std::uint32_t pageNo, IndexPage& page, Change& out);
    void freePage(std::uint32_t pageNo, const IndexPage& page);

    // The page decoded; valid until the next read or write. Making room among the pages held
    // decoded may write changed leaves, hence not const.
    const IndexPage& read(std::uint32_t pageNo);
    void write(std::uint32_t pageNo, const IndexPage& page);
    std::uint32_t allocatePage();
    void setLink(std::uint32_t pageNo, bool next, std::uint32_t target);
    std::vector<Child> childrenOf(std::uint32_t pageNo, const IndexPage& page) const;
    void setChildren(IndexPage& page, const std::vector<Child>& children);
    IndexEntry lastEntryBelow(std::uint32_t pageNo);
    // The leaf where `entry` belongs, with the position of the first entry not before it.
    std::pair<std::uint32_t, std::size_t> findLeaf(const IndexEntry& entry);
    std::uint32_t firstLeaf();
    void checkDepth(int depth) const;
    [[noreturn]] void damaged(const std::string& what) const;

    file::PageFile& file_;
    const format::Format& fmt_;
    IndexStorage storage_;
    // Pages decoded: a cache of the pages read lately, and the changed leaves, the tree's own.
    std::unordered_map<std::uint32_t, Decoded> decoded_;
    bool keepLeaves_ = false;
};

}  // namespace jet::index
