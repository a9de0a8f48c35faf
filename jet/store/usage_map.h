// Usage maps: the bitmaps that say which pages a table owns. Type 0 keeps the bitmap in the
// row itself, from a start page on; type 1 lists usage-map pages that each cover a fixed run
// of pages.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/base/bytes.h"

namespace jet::store {

// The pages a usage map row marks, in ascending order. Every page is checked to lie inside the
// file.
std::vector<std::uint32_t> readUsageMap(const file::PageFile& file, const format::Format& fmt,
                                        RowPointer where);

// The last page the map marks, as readUsageMap(...).back() gives it (with the same errors),
// without listing the others; nullopt when it marks none.
std::optional<std::uint32_t> lastMarkedPage(const file::PageFile& file, const format::Format& fmt,
                                            RowPointer where);

// The usage map pages a reference map (type 1) names; none for an inline map.
std::vector<std::uint32_t> referenceMapPages(const file::PageFile& file, const format::Format& fmt,
                                             RowPointer where);

}  // namespace jet::store
