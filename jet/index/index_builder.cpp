#include "jet/index/index_builder.h"

#include <stdexcept>
#include <string>

#include "jet/base/error.h"
#include "jet/index/index_page_writer.h"
#include "jet/store/usage_map_writer.h"

namespace jet::index {

IndexBuilder::IndexBuilder(file::PageFile& file, const format::Format& fmt, IndexStorage storage)
    : file_(file), fmt_(fmt), storage_(std::move(storage)) {
    const IndexPage root = readIndexPage(fmt_, *file_.page(storage_.rootPage));
    if (!root.leaf || !root.entries.empty() || root.owner != storage_.ownerPage) {
        throw Error(ErrorCode::Unsupported,
                    "The " + storage_.name + " cannot be built afresh: its root page " +
                        std::to_string(storage_.rootPage) + " is not an empty leaf of the table.");
    }
}

void IndexBuilder::add(IndexEntry entry) {
    if (finished_) throw std::logic_error("IndexBuilder::add() after finish()");
    entry.childPage = 0;
    push(0, std::move(entry));
}

bool IndexBuilder::fits(const Level& l, bool leaf) const {
    if (l.entries.size() <= 1) return true;
    const std::size_t saved =
        (l.entries.size() - 1) * declarablePrefixLength(fmt_, l.entries, leaf);
    return saved <= l.unsharedBytes && l.unsharedBytes - saved <= entryAreaCapacity(fmt_);
}

std::uint64_t IndexBuilder::push(std::size_t level, IndexEntry entry) {
    if (level == levels_.size()) levels_.emplace_back();
    const bool leaf = level == 0;
    const std::size_t size = storedEntrySize(entry, leaf);
    // An intermediate page names every child but its last; a new child makes the one before it
    // named, so it is the children so far that must fit.
    if (!leaf && !fits(levels_[level], false)) close(level);
    Level& l = levels_[level];  // close() may have added levels above
    l.entries.push_back(std::move(entry));
    l.unsharedBytes += size;
    if (leaf && !fits(l, true)) {
        IndexEntry next = std::move(l.entries.back());
        l.entries.pop_back();
        l.unsharedBytes -= size;
        close(level);
        Level& fresh = levels_[level];
        fresh.entries.push_back(std::move(next));
        fresh.unsharedBytes += size;
    }
    return levels_[level].filling;
}

IndexPage IndexBuilder::takePage(std::size_t level) {
    Level& l = levels_[level];
    IndexPage page;
    page.leaf = level == 0;
    page.owner = storage_.ownerPage;
    if (!page.leaf && l.entries.size() > 1) {
        page.tailPage = l.entries.back().childPage;
        l.entries.pop_back();
    }
    page.entries = std::move(l.entries);
    l.entries.clear();
    l.unsharedBytes = 0;
    return page;
}

void IndexBuilder::close(std::size_t level) {
    if (levels_[level].entries.empty()) {
        throw std::logic_error("IndexBuilder::close(): an empty page");
    }
    IndexEntry last = levels_[level].entries.back();
    IndexPage page = takePage(level);
    ++levels_[level].filling;
    std::vector<RowPointer> maps;
    if (storage_.usedPagesRow != 0) maps.push_back(RowPointer::from(storage_.usedPagesRow));
    const std::uint32_t pageNo = store::appendPage(file_, fmt_, maps);
    last.childPage = pageNo;
    const std::uint64_t parent = push(level + 1, std::move(last));
    Level& l = levels_[level];
    if (l.waiting) {
        // Leaves are linked end to end; pages above only to those that share their parent.
        if (level == 0 || l.waiting->parent == parent) {
            l.waiting->page.nextPage = pageNo;
            page.prevPage = l.waiting->pageNo;
        }
        writeWaiting(level);
    }
    l.waiting = Closed{pageNo, std::move(page), parent};
}

void IndexBuilder::writeWaiting(std::size_t level) {
    Level& l = levels_[level];
    if (!l.waiting) return;
    write(l.waiting->pageNo, l.waiting->page);
    l.waiting.reset();
}

void IndexBuilder::write(std::uint32_t pageNo, const IndexPage& page) {
    file_.writePage(pageNo, writeIndexPage(fmt_, page));
    ++pagesWritten_;
}

void IndexBuilder::finish() {
    if (finished_) return;
    finished_ = true;
    if (levels_.empty()) {
        IndexPage root;
        root.owner = storage_.ownerPage;
        write(storage_.rootPage, root);
        return;
    }
    // Every level but the top has had a page closed, so the page filling there has a neighbour
    // before it and a parent above; the top level has only the page filling, which is the root.
    for (std::size_t level = 0; level < levels_.size(); ++level) {
        if (level + 1 == levels_.size()) {
            if (levels_[level].waiting) throw std::logic_error("IndexBuilder: two roots");
            write(storage_.rootPage, takePage(level));
            break;
        }
        close(level);
        writeWaiting(level);
    }
}

}  // namespace jet::index
