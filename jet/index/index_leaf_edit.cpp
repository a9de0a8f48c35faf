#include "jet/index/index_leaf_edit.h"

#include <algorithm>
#include <string>

#include "jet/base/error.h"
#include "jet/index/index_page_writer.h"

namespace jet::index {
namespace {

bool before(const IndexEntry& a, const IndexEntry& b) { return compareEntries(a, b) < 0; }

std::string describe(const IndexEntry& e) {
    return "the index entry for row " + std::to_string(e.dataRow) + " of page " +
           std::to_string(e.dataPage);
}

// Brings the figures that follow from the entries up to date, as writeIndexPage will store them.
void settle(const format::Format& fmt, IndexPage& page) {
    const IndexPageLayout& at = indexPageLayout(fmt);
    page.prefixLength = accessPrefixLength(fmt, page.entries, page.leaf);
    page.entriesEnd =
        at.entriesStart + storedEntriesSize(page.entries, page.leaf, page.prefixLength);
    page.freeSpace = static_cast<std::uint16_t>(fmt.pageSize - page.entriesEnd);
}

void requireLeaf(const IndexPage& page) {
    if (!page.leaf) {
        throw Error(ErrorCode::Unsupported,
                    "entries are added to and removed from leaf pages only");
    }
}

}  // namespace

std::optional<IndexPage> insertLeafEntry(const format::Format& fmt, const IndexPage& page,
                                         const IndexEntry& entry) {
    requireLeaf(page);
    const auto at = std::lower_bound(page.entries.begin(), page.entries.end(), entry, before);
    if (at != page.entries.end() && compareEntries(*at, entry) == 0) {
        corrupt(describe(entry) + " is already in the index");
    }
    IndexPage out = page;
    out.entries.insert(out.entries.begin() + (at - page.entries.begin()), entry);
    if (!entriesFit(fmt, out.entries, true)) return std::nullopt;
    settle(fmt, out);
    return out;
}

IndexPage removeLeafEntry(const format::Format& fmt, const IndexPage& page,
                          const IndexEntry& entry) {
    requireLeaf(page);
    const auto at = std::lower_bound(page.entries.begin(), page.entries.end(), entry, before);
    if (at == page.entries.end() || compareEntries(*at, entry) != 0) {
        corrupt(describe(entry) + " is missing from its index page");
    }
    IndexPage out = page;
    out.entries.erase(out.entries.begin() + (at - page.entries.begin()));
    settle(fmt, out);
    return out;
}

std::pair<std::vector<IndexEntry>, std::vector<IndexEntry>> splitEntries(
    const std::vector<IndexEntry>& entries) {
    if (entries.size() < 2) {
        throw Error(ErrorCode::Unsupported,
                    "an index page with fewer than two entries cannot "
                    "be split");
    }
    const auto middle = entries.begin() + static_cast<std::ptrdiff_t>((entries.size() + 1) / 2);
    return {std::vector<IndexEntry>(entries.begin(), middle),
            std::vector<IndexEntry>(middle, entries.end())};
}

}  // namespace jet::index
