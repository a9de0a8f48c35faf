// The pages the database's structures reach, for those who take pages the global usage map calls
// free: a map that marks a page in use as free (a damaged file) must not cost that page its
// contents.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::store {

// Per page of the file: whether the header, the global map, or a table of the catalog (the
// catalog's own included) reaches it: the table's definition chain, the pages holding its usage
// map rows (its own, its indexes', its long-value fields'), the pages those maps mark and the
// map pages that hold their bits. Throws Error when any of them cannot be read.
std::vector<bool> pagesInUse(const file::PageFile& file, const format::Format& fmt);

}  // namespace jet::store
