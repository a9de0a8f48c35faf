// Changing the entries of one leaf page in place: one entry in, one entry out, in index order.
// The caller writes the result with writeIndexPage; when an insertion leaves too many entries
// for one page, it splits them with splitEntries and fixes the tree above.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "jet/index/index_page.h"

namespace jet::index {

// The page with `entry` inserted in order (key bytes, then row pointer), its prefix, end and
// free space recomputed as writeIndexPage will write them; nullopt when the entries no longer
// fit on one page. Throws Error(Corrupt) when the page already holds an entry for that key and
// row: the index and its table disagree.
std::optional<IndexPage> insertLeafEntry(const format::Format& fmt, const IndexPage& page,
                                         const IndexEntry& entry);

// The page without `entry` (matched by key and row). Throws Error(Corrupt) when the page
// holds no such entry.
IndexPage removeLeafEntry(const format::Format& fmt, const IndexPage& page,
                          const IndexEntry& entry);

// Divides an overfull page's entries between two pages: the first half (the larger one when
// the count is odd) goes to a new page placed before the old one, which keeps the rest. The
// old page keeps its last entry, so the entry naming it in its parent (or the parent's tail)
// stays as it is; only the new page needs a parent entry. Throws Error(Unsupported) for fewer
// than two entries.
std::pair<std::vector<IndexEntry>, std::vector<IndexEntry>> splitEntries(
    const std::vector<IndexEntry>& entries);

}  // namespace jet::index
