// Reading a usage map for checking: unlike store::readUsageMap it does not stop at a page
// beyond the end of the file (the global map marks those on purpose), and it says which
// usage-map pages (type 0x05) hold the bitmap, since those belong to the map's owner.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::check {

struct MapReading {
    std::vector<std::uint32_t> pages;     // marked pages inside the file, ascending
    std::uint64_t pagesBeyondEnd = 0;     // marked pages past the end of the file
    std::vector<std::uint32_t> mapPages;  // type-0x05 pages an indirect map refers to
};

// Throws Error(Corrupt) when the map's row cannot be read, its type is unknown, or it refers to
// a map page that is not one.
MapReading readMap(const file::PageFile& file, const format::Format& fmt, RowPointer where);

}  // namespace jet::check
