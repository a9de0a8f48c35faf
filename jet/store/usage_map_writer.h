// Marking pages in usage maps: a table's owned and free-space maps, and the database's global
// map on page 1, whose set bits are the free pages.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/store/usage_map.h"

namespace jet::store {

// Sets or clears the bit of `page` in the usage map row at `where`, writing the page that holds
// the map. Throws Error(Unsupported), changing nothing, when the map does not cover the page
// (an inline map would have to move its range, a reference map would need a new map page).
void markPage(file::PageFile& file, const format::Format& fmt, RowPointer where, std::uint32_t page,
              bool on);

// Takes a page for an owner whose maps are `ownerMaps` (its pages, and for a table its pages
// with free space): the first page the global map marks free (its old bytes journaled like any
// page changed), else a new page at the end of the file. It is marked in each of the owner's
// maps and used in the global map; maps that do not reach it grow first (see makeRoom).
// Returns its number; its bytes are zero.
std::uint32_t appendPage(file::PageFile& file, const format::Format& fmt,
                         const std::vector<RowPointer>& ownerMaps);

// The same, always at the end of the file: for a new table's definition, whose page number is
// the table's id, never one a dropped table had.
std::uint32_t appendPageAtEnd(file::PageFile& file, const format::Format& fmt,
                              const std::vector<RowPointer>& ownerMaps);

// Lets the map at `where` hold `page`: an inline map moves its window when the pages it marks
// and `page` fit in one, or else becomes a reference map whose entries name map pages (taken
// at the end of the file). Throws Error(Unsupported) when that cannot be done.
void makeRoom(file::PageFile& file, const format::Format& fmt, RowPointer where,
              std::uint32_t page);

// Lengthens the global map's row (on page 1) so that it reaches `page`, the pages past the end
// of the file marked free. Throws Error(Unsupported) when page 1 has no room for it.
void growGlobalMap(file::PageFile& file, const format::Format& fmt, std::uint32_t page);

// Whether the usage map row at `where` covers `page` without having to grow.
bool covers(const file::PageFile& file, const format::Format& fmt, RowPointer where,
            std::uint32_t page);

// Adds to `pages` the pages the usage map at `where` marks and, for a reference map, the map
// pages that hold its bits: everything an owner gives back when it goes.
void collectOwnedPages(const file::PageFile& file, const format::Format& fmt, RowPointer where,
                       std::set<std::uint32_t>& pages);

// Clears every bit of the usage map at `where`, keeping its kind, its window and its map pages:
// an owner that gives back all its pages and takes new ones finds the map as it was.
void clearMap(file::PageFile& file, const format::Format& fmt, RowPointer where);

// What a page given back holds until it is taken again.
enum class Freed {
    Zeroed,
    // Its old bytes, for a caller that takes most of the pages again at once (every page taken
    // is zeroed first) and then calls zeroPagesStillFree: a page written twice would cost a
    // second write of it to the file.
    KeptForNow,
};

// Gives pages back to the file: each is marked free in the global map, and zeroed unless the
// caller does it later. Throws Error(Corrupt), before changing anything, for page 0 or 1 or a
// page past the end.
void releasePages(file::PageFile& file, const format::Format& fmt,
                  const std::set<std::uint32_t>& pages, Freed freed = Freed::Zeroed);
// Zeroes those of `pages` that the global map still marks free (Freed::KeptForNow).
void zeroPagesStillFree(file::PageFile& file, const format::Format& fmt,
                        const std::set<std::uint32_t>& pages);

}  // namespace jet::store
