// Marking pages in usage maps: a table's owned and free-space maps, and the database's global
// map on page 1, whose set bits are the free pages.
#pragma once

#include <cstdint>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/store/bytes.h"

namespace jet::store {

inline constexpr RowPointer kGlobalUsageMap{1, 0};

// Sets or clears the bit of `page` in the usage map row at `where`, writing the page that holds
// the map. Throws Error(Unsupported), changing nothing, when the map does not cover the page
// (an inline map would have to move its range, a reference map would need a new map page).
void markPage(file::PageFile& file, const format::Format& fmt, RowPointer where,
              std::uint32_t page, bool on);

// Whether the usage map row at `where` covers `page` without having to grow.
bool covers(const file::PageFile& file, const format::Format& fmt, RowPointer where,
            std::uint32_t page);

}  // namespace jet::store
