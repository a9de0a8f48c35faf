// The free pages at the end of the file, cut off: the last step of compacting a database, once
// its tables have been written afresh towards the front.
#pragma once

#include <cstdint>

#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::store {

// Inside a write: cuts off the run of pages at the end of the file that the global usage map
// marks free and that nothing reaches (store::pagesInUse: no table's structures; nor a page
// that holds the global map's own bits, when it is a reference map), and returns how many
// pages it cut; the file is cut when the write commits (file::PageFile::truncate). Pages 0 to 2
// (the header, the global map, the catalog's definition) always stay. The global map's bits of
// the pages cut stay set: Access marks the pages past the end of the file free. Throws Error
// when a structure cannot be read, cutting nothing.
std::uint32_t cutFreeTail(file::PageFile& file, const format::Format& fmt);

}  // namespace jet::store
