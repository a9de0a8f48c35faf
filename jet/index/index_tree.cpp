#include "jet/index/index_tree.h"

#include <algorithm>
#include <span>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/index/index_leaf_edit.h"
#include "jet/index/index_page_writer.h"
#include "jet/store/usage_map_writer.h"

namespace jet::index {
namespace {

// Far deeper than any real index; deeper means pages pointing at each other in a loop.
constexpr int kMaxDepth = 32;
// Decoded pages kept between changes: a path from the root and the leaves around it, and then
// some; a few megabytes at most. Changed leaves count among them.
constexpr std::size_t kDecodedPages = 256;

bool before(const IndexEntry& a, const IndexEntry& b) { return compareEntries(a, b) < 0; }

IndexPage blankPage(bool leaf, std::uint32_t owner) {
    IndexPage page;
    page.leaf = leaf;
    page.owner = owner;
    return page;
}

std::string rowOf(const IndexEntry& e) {
    return "row " + std::to_string(e.dataRow) + " of page " + std::to_string(e.dataPage);
}

}  // namespace

IndexTree::IndexTree(file::PageFile& file, const format::Format& fmt, IndexStorage storage)
    : file_(file), fmt_(fmt), storage_(std::move(storage)) {}

void IndexTree::damaged(const std::string& what) const {
    throw Error(ErrorCode::Corrupt, "The " + storage_.name + " in '" + file_.path() +
                                        "' is damaged: " + what + "; nothing was changed.")
        .about(file_.path());
}

void IndexTree::checkDepth(int depth) const {
    if (depth > kMaxDepth) damaged("its tree is deeper than any real index");
}

IndexTree::~IndexTree() {
    // Changed leaves that never reached the page file: the write is incomplete. On the way out
    // of a failed statement that is expected (it is rolled back); otherwise the owner forgot
    // flush(), and the write must not commit without them.
    const bool holds = std::any_of(decoded_.begin(), decoded_.end(),
                                   [](const auto& entry) { return entry.second.changed; });
    if (holds) file_.failWrite();
}

const IndexPage& IndexTree::read(std::uint32_t pageNo) {
    if (pageNo == 0 || pageNo >= file_.pageCount()) {
        damaged("it refers to page " + std::to_string(pageNo) + ", outside the file");
    }
    const auto hit = decoded_.find(pageNo);
    if (hit != decoded_.end() && hit->second.changed) return hit->second.page;
    // Decoding a full leaf costs more than anything else an update does to it; pages are
    // decoded again only when their bytes are not the ones decoded last.
    file::PageRef bytes = file_.page(pageNo);
    if (hit != decoded_.end() && hit->second.source == bytes) return hit->second.page;
    if (decoded_.size() >= kDecodedPages) {
        flush();
        decoded_.clear();
    }
    IndexPage page = readIndexPage(fmt_, *bytes);
    if (page.owner != storage_.ownerPage) {
        damaged("its page " + std::to_string(pageNo) + " belongs to another table");
    }
    auto& slot = decoded_[pageNo];
    slot = Decoded{std::move(bytes), std::move(page)};
    if (slot.page.leaf) {
        for (const auto& e : slot.page.entries) slot.unsharedBytes += storedEntrySize(e, true);
    }
    return slot.page;
}

bool IndexTree::leafFits(const Decoded& d) const {
    return d.unsharedBytes <= entryAreaCapacity(fmt_) || entriesFit(fmt_, d.page.entries, true);
}

void IndexTree::write(std::uint32_t pageNo, const IndexPage& page) {
    file_.writePage(pageNo, writeIndexPage(fmt_, page));
    decoded_.erase(pageNo);
}

void IndexTree::storeDecoded(std::uint32_t pageNo) {
    Decoded& d = decoded_.at(pageNo);
    if (keepLeaves_) {
        d.changed = true;
    } else {
        writeDecoded(d, pageNo);
    }
}

void IndexTree::writeDecoded(Decoded& d, std::uint32_t pageNo) {
    // The source goes first: the page file copies nothing for a page no one else holds.
    d.source.reset();
    file_.writePage(pageNo, writeIndexPage(fmt_, d.page));
    d.changed = false;
    d.source = file_.page(pageNo);
}

void IndexTree::flush() {
    for (auto& [number, d] : decoded_) {
        if (d.changed) writeDecoded(d, number);
    }
}

void IndexTree::dropDecoded(std::uint32_t pageNo) { decoded_.erase(pageNo); }

std::uint32_t IndexTree::allocatePage() {
    std::vector<RowPointer> maps;
    if (storage_.usedPagesRow != 0) maps.push_back(RowPointer::from(storage_.usedPagesRow));
    return store::appendPage(file_, fmt_, maps);
}

void IndexTree::freePage(std::uint32_t pageNo, const IndexPage& page) {
    if (page.prevPage != 0) setLink(page.prevPage, true, page.nextPage);
    if (page.nextPage != 0) setLink(page.nextPage, false, page.prevPage);
    if (storage_.usedPagesRow != 0) {
        store::markPage(file_, fmt_, RowPointer::from(storage_.usedPagesRow), pageNo, false);
    }
    store::markPage(file_, fmt_, store::kGlobalUsageMap, pageNo, true);
    file_.writePage(pageNo, file::Page(fmt_.pageSize, 0));
}

// Changes one neighbour link in place, leaving the rest of the page's bytes as they are; in a
// changed leaf held decoded, the link is changed there, to be encoded with the rest.
void IndexTree::setLink(std::uint32_t pageNo, bool next, std::uint32_t target) {
    read(pageNo);  // an index page of this table, or the index is damaged
    if (const auto it = decoded_.find(pageNo); it != decoded_.end() && it->second.changed) {
        (next ? it->second.page.nextPage : it->second.page.prevPage) = target;
        return;
    }
    // The decoded page goes with its source: the bytes change, and the page file copies nothing
    // for a page no one else holds.
    decoded_.erase(pageNo);
    const IndexPageLayout& at = indexPageLayout(fmt_);
    const std::span<std::uint8_t> bytes = file_.edit(pageNo);
    const std::size_t off = next ? at.nextPage : at.prevPage;
    for (std::size_t i = 0; i < 4; ++i)
        bytes[off + i] = static_cast<std::uint8_t>(target >> (8 * i));
}

std::vector<IndexTree::Child> IndexTree::childrenOf(std::uint32_t pageNo,
                                                    const IndexPage& page) const {
    if (page.entries.empty() && page.tailPage == 0) {
        damaged("page " + std::to_string(pageNo) + " has no children");
    }
    std::vector<Child> children;
    children.reserve(page.entries.size() + 1);
    for (const auto& e : page.entries) children.push_back(Child{e.childPage, e});
    if (page.tailPage != 0) children.push_back(Child{page.tailPage, std::nullopt});
    return children;
}

// Access names every child of an intermediate page by its last entry but the last child, which
// it keeps as the page's tail; a lone child is named.
void IndexTree::setChildren(IndexPage& page, const std::vector<Child>& children) {
    page.entries.clear();
    page.tailPage = 0;
    const std::size_t named = children.size() == 1 ? 1 : children.size() - 1;
    for (std::size_t i = 0; i < named; ++i) {
        IndexEntry e = children[i].last ? *children[i].last : lastEntryBelow(children[i].page);
        e.childPage = children[i].page;
        page.entries.push_back(std::move(e));
    }
    if (children.size() > 1) page.tailPage = children.back().page;
}

IndexEntry IndexTree::lastEntryBelow(std::uint32_t pageNo) {
    for (int depth = 0;; ++depth) {
        checkDepth(depth);
        const IndexPage& page = read(pageNo);
        if (page.leaf) {
            if (page.entries.empty()) damaged("page " + std::to_string(pageNo) + " is empty");
            IndexEntry last = page.entries.back();
            last.childPage = 0;
            return last;
        }
        if (page.tailPage != 0) {
            pageNo = page.tailPage;
        } else if (!page.entries.empty()) {
            pageNo = page.entries.back().childPage;
        } else {
            damaged("page " + std::to_string(pageNo) + " has no children");
        }
    }
}

void IndexTree::insert(const IndexEntry& entry) { insertAt(storage_.rootPage, entry, 0); }

void IndexTree::remove(const IndexEntry& entry) { removeAt(storage_.rootPage, entry, 0); }

// The child of an intermediate page where `entry` belongs, counted as childrenOf counts them
// (the tail last): the first whose last entry is not before it, else the tail, else the last.
std::size_t IndexTree::childIndex(std::uint32_t pageNo, const IndexPage& page,
                                  const IndexEntry& entry) const {
    // The entries stand in order: a binary search.
    const auto at = std::lower_bound(
        page.entries.begin(), page.entries.end(), entry,
        [](const IndexEntry& a, const IndexEntry& b) { return compareEntries(a, b) < 0; });
    if (at != page.entries.end()) return static_cast<std::size_t>(at - page.entries.begin());
    if (page.tailPage != 0) return page.entries.size();
    if (page.entries.empty()) damaged("page " + std::to_string(pageNo) + " has no children");
    return page.entries.size() - 1;
}

std::uint32_t IndexTree::childPage(const IndexPage& page, std::size_t i) {
    return i < page.entries.size() ? page.entries[i].childPage : page.tailPage;
}

// An intermediate page after a change below it: rewritten only when the change shows in it.
IndexTree::Change IndexTree::afterBelow(std::uint32_t pageNo, std::size_t i, const Change& below) {
    Change out;
    if (!below.emptied && !below.splitOff && !below.newLast) return out;
    {
        const IndexPage& current = read(pageNo);
        // A new last entry under the tail changes nothing here: no entry names the tail. This is
        // every row of a table filled in key order, so the page is not even copied.
        if (!below.emptied && !below.splitOff && i == current.entries.size() &&
            current.tailPage != 0) {
            out.newLast = below.newLast;
            return out;
        }
    }
    IndexPage page = read(pageNo);
    auto children = childrenOf(pageNo, page);
    applyBelow(children, i, below, out);
    if (children.empty()) {
        if (pageNo != storage_.rootPage) {
            freePage(pageNo, page);
            out.emptied = true;
            return out;
        }
        // The last entry of the index is gone: the root becomes an empty leaf again.
        page = blankPage(true, storage_.ownerPage);
    } else {
        setChildren(page, children);
    }
    storeOrSplit(pageNo, page, out);
    return out;
}

IndexTree::Change IndexTree::insertAt(std::uint32_t pageNo, const IndexEntry& entry, int depth) {
    checkDepth(depth);
    const IndexPage& current = read(pageNo);
    if (!current.leaf) {
        const std::size_t i = childIndex(pageNo, current, entry);
        const std::uint32_t child = childPage(current, i);
        return afterBelow(pageNo, i, insertAt(child, entry, depth + 1));
    }
    Decoded& d = decoded_.at(pageNo);
    IndexPage& page = d.page;
    const auto at = std::lower_bound(page.entries.begin(), page.entries.end(), entry, before);
    if (at != page.entries.end() && compareEntries(*at, entry) == 0) {
        damaged("it already holds an entry for " + rowOf(entry));
    }
    Change out;
    if (at == page.entries.end()) out.newLast = entry;
    page.entries.insert(at, entry);
    d.unsharedBytes += storedEntrySize(entry, true);
    return storeLeaf(pageNo, out);
}

IndexTree::Change IndexTree::removeAt(std::uint32_t pageNo, const IndexEntry& entry, int depth) {
    checkDepth(depth);
    const IndexPage& current = read(pageNo);
    if (!current.leaf) {
        const std::size_t i = childIndex(pageNo, current, entry);
        const std::uint32_t child = childPage(current, i);
        return afterBelow(pageNo, i, removeAt(child, entry, depth + 1));
    }
    Decoded& d = decoded_.at(pageNo);
    IndexPage& page = d.page;
    const auto at = std::lower_bound(page.entries.begin(), page.entries.end(), entry, before);
    if (at == page.entries.end() || compareEntries(*at, entry) != 0) {
        damaged("it has no entry for " + rowOf(entry));
    }
    Change out;
    const bool wasLast = at + 1 == page.entries.end();
    d.unsharedBytes -= storedEntrySize(*at, true);
    page.entries.erase(at);
    if (page.entries.empty() && pageNo != storage_.rootPage) {
        const IndexPage emptied = std::move(page);
        dropDecoded(pageNo);
        freePage(pageNo, emptied);
        out.emptied = true;
        return out;
    }
    if (wasLast && !page.entries.empty()) out.newLast = page.entries.back();
    // Fewer entries may still need a second page: a shorter shared prefix can take more room
    // than the entry gave back.
    return storeLeaf(pageNo, out);
}

// Writes a leaf changed in its decoded form, splitting it when it no longer fits.
IndexTree::Change IndexTree::storeLeaf(std::uint32_t pageNo, Change out) {
    Decoded& d = decoded_.at(pageNo);
    IndexPage& page = d.page;
    if (leafFits(d)) {
        storeDecoded(pageNo);
        return out;
    }
    IndexPage full = std::move(page);
    dropDecoded(pageNo);
    storeOrSplit(pageNo, full, out);
    return out;
}

void IndexTree::applyBelow(std::vector<Child>& children, std::size_t i, const Change& below,
                           Change& out) const {
    const bool lastChild = i + 1 == children.size();
    if (below.emptied) {
        children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
        // The child before it, now the last, is named: its last entry ends this page.
        if (lastChild && !children.empty()) out.newLast = children.back().last;
        return;
    }
    if (below.newLast) {
        if (children[i].last) children[i].last = below.newLast;
        if (lastChild) out.newLast = below.newLast;
    }
    if (below.splitOff) {
        children.insert(children.begin() + static_cast<std::ptrdiff_t>(i), *below.splitOff);
    }
}

void IndexTree::storeOrSplit(std::uint32_t pageNo, IndexPage& page, Change& out) {
    if (entriesFit(fmt_, page.entries, page.leaf)) {
        write(pageNo, page);
        return;
    }
    // Too full: the first part of its entries (or children) goes to a new page before it. Half
    // of them, as Access does, unless entries of very different sizes leave one half too big
    // for a page; then the nearest point where both parts fit.
    const bool leaf = page.leaf;
    const std::vector<Child> children = leaf ? std::vector<Child>{} : childrenOf(pageNo, page);
    const std::size_t n = leaf ? page.entries.size() : children.size();
    const auto part = [&](std::size_t from, std::size_t to) {
        IndexPage p = blankPage(leaf, storage_.ownerPage);
        if (leaf) {
            p.entries.assign(page.entries.begin() + static_cast<std::ptrdiff_t>(from),
                             page.entries.begin() + static_cast<std::ptrdiff_t>(to));
        } else {
            setChildren(p, std::vector<Child>(children.begin() + static_cast<std::ptrdiff_t>(from),
                                              children.begin() + static_cast<std::ptrdiff_t>(to)));
        }
        return p;
    };
    const auto fits = [&](std::size_t k) {
        if (leaf) {
            const std::span<const IndexEntry> all(page.entries);
            return entriesFit(fmt_, all.first(k), true) && entriesFit(fmt_, all.subspan(k), true);
        }
        return entriesFit(fmt_, part(0, k).entries, false) &&
               entriesFit(fmt_, part(k, n).entries, false);
    };
    std::size_t k = 0;
    for (std::size_t step = 0, middle = (n + 1) / 2; step < n && k == 0; ++step) {
        // middle, middle - 1, middle + 1, middle - 2, ...
        const std::size_t candidate = step % 2 == 0 ? middle + step / 2 : middle - (step + 1) / 2;
        if (candidate >= 1 && candidate < n && fits(candidate)) k = candidate;
    }
    if (k == 0) damaged("page " + std::to_string(pageNo) + " cannot be split into pages that fit");
    const IndexEntry leftLast = leaf ? page.entries[k - 1] : *children[k - 1].last;
    // Pages below intermediate pages are linked only to those that share their parent.
    const auto separateChildren = [&] {
        if (leaf) return;
        const std::uint32_t a = children[k - 1].page, b = children[k].page;
        if (read(a).leaf) return;
        setLink(a, true, 0);
        setLink(b, false, 0);
    };

    const std::uint32_t left = allocatePage();
    IndexPage leftPage = part(0, k);
    IndexPage rightPage = part(k, n);
    if (pageNo == storage_.rootPage) {
        // The root stays where it is and takes the two parts as its children.
        const std::uint32_t right = allocatePage();
        leftPage.nextPage = right;
        rightPage.prevPage = left;
        write(left, leftPage);
        write(right, rightPage);
        separateChildren();
        page = blankPage(false, storage_.ownerPage);
        setChildren(page, {Child{left, leftLast}, Child{right, std::nullopt}});
        write(pageNo, page);
        return;
    }
    leftPage.prevPage = page.prevPage;
    leftPage.nextPage = pageNo;
    rightPage.prevPage = left;
    rightPage.nextPage = page.nextPage;
    page = std::move(rightPage);
    write(left, leftPage);
    write(pageNo, page);
    if (leftPage.prevPage != 0) setLink(leftPage.prevPage, true, left);
    separateChildren();
    out.splitOff = Child{left, leftLast};
}

std::pair<std::uint32_t, std::size_t> IndexTree::findLeaf(const IndexEntry& entry) {
    std::uint32_t pageNo = storage_.rootPage;
    for (int depth = 0;; ++depth) {
        checkDepth(depth);
        const IndexPage& page = read(pageNo);
        if (page.leaf) {
            const auto at =
                std::lower_bound(page.entries.begin(), page.entries.end(), entry, before);
            return {pageNo, static_cast<std::size_t>(at - page.entries.begin())};
        }
        pageNo = childPage(page, childIndex(pageNo, page, entry));
    }
}

std::uint32_t IndexTree::firstLeaf() {
    std::uint32_t pageNo = storage_.rootPage;
    for (int depth = 0;; ++depth) {
        checkDepth(depth);
        const IndexPage& page = read(pageNo);
        if (page.leaf) return pageNo;
        if (!page.entries.empty()) {
            pageNo = page.entries.front().childPage;
        } else if (page.tailPage != 0) {
            pageNo = page.tailPage;
        } else {
            damaged("page " + std::to_string(pageNo) + " has no children");
        }
    }
}

void IndexTree::removeRows(const std::vector<std::uint32_t>& rows) {
    if (rows.empty()) return;
    std::vector<IndexEntry> doomed;
    std::size_t visited = 0;
    for (std::uint32_t pageNo = firstLeaf(); pageNo != 0;) {
        if (++visited > file_.pageCount()) damaged("its leaf pages link in a circle");
        const IndexPage& page = read(pageNo);
        doomed.clear();
        for (const auto& e : page.entries) {
            const std::uint32_t packed = (e.dataPage << 8) | e.dataRow;
            if (std::binary_search(rows.begin(), rows.end(), packed)) doomed.push_back(e);
        }
        // Removing entries never moves the leaves that follow, so the link read now holds.
        pageNo = page.nextPage;
        for (const auto& e : doomed) remove(e);
    }
}

std::size_t IndexTree::countKey(const std::vector<std::uint8_t>& key, std::size_t limit) {
    auto [pageNo, at] = findLeaf(IndexEntry{.key = key});
    std::size_t count = 0;
    std::size_t visited = 0;
    while (pageNo != 0 && count < limit) {
        if (++visited > file_.pageCount()) damaged("its leaf pages link in a circle");
        const IndexPage& page = read(pageNo);
        for (; at < page.entries.size() && count < limit; ++at) {
            if (page.entries[at].key != key) return count;
            ++count;
        }
        pageNo = page.nextPage;
        at = 0;
    }
    return count;
}

std::optional<std::vector<std::uint8_t>> IndexTree::findRepeatedKey(
    const std::vector<std::uint8_t>& allowed) {
    std::optional<std::vector<std::uint8_t>> previous;
    std::size_t visited = 0;
    for (std::uint32_t pageNo = firstLeaf(); pageNo != 0;) {
        if (++visited > file_.pageCount()) damaged("its leaf pages link in a circle");
        const IndexPage& page = read(pageNo);
        for (const auto& e : page.entries) {
            if (previous && *previous == e.key && e.key != allowed) return e.key;
            previous = e.key;
        }
        pageNo = page.nextPage;
    }
    return std::nullopt;
}

}  // namespace jet::index
