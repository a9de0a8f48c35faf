// Usage maps: the bitmaps that say which pages a table owns. Type 0 keeps the bitmap in the
// row itself, from a start page on; type 1 lists usage-map pages that each cover a fixed run
// of pages.
//
// A map is one row of a data page, named by a row pointer: 4 bytes, little-endian, the slot in
// the low byte and the page above it. A table has two (its pages, and those of its pages with
// free space), each index one, each long-value column two; page 1 holds the database's global
// map, whose set bits are the free pages. All numbers are little-endian.
//
// Type 0, inline:
//
//   OFFSET  SIZE  DESCRIPTION
//     0       1   0x00
//     1       4   S, the first page the map covers
//     5     rest  bitmap: bit i of byte b stands for page S + 8 b + i
//
//     byte 5                        byte 6
//   +-----------------------------+-----------------------------+---
//   | S+7 S+6 S+5 ...     S+1 S+0 | S+15 ...               S+8  | ...
//   +-----------------------------+-----------------------------+---
//
// The row's length sets how many pages the map reaches (tables this engine makes get 64 bytes
// of bitmap: 512 pages).
//
// Type 1, reference:
//
//   OFFSET  SIZE  DESCRIPTION
//     0       1   0x01
//     1       4   the map page of pages 0 to M-1; 0 for none, which marks none of them
//     5       4   the map page of pages M to 2M-1
//    ...      4   and so on, for as many entries as the row holds
//
// with M = (page size - 4) x 8: 16352 pages in Jet 3, 32736 in Jet 4 and ACE. A map page:
//
//   OFFSET  SIZE  DESCRIPTION
//     0       1   page type 0x05
//     1       1   0x01
//     2       2   unknown; zero
//     4     rest  bitmap, as in type 0, from the first page of its entry's run
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::store {

// The database's global map: row 0 of page 1.
inline constexpr RowPointer kGlobalUsageMap{1, 0};

// The pages a usage map row marks, in ascending order. Every page is checked to lie inside the
// file.
std::vector<std::uint32_t> readUsageMap(const file::PageFile& file, const format::Format& fmt,
                                        RowPointer where);

// The last page the map marks, as readUsageMap(...).back() gives it (with the same errors),
// without listing the others; nullopt when it marks none.
std::optional<std::uint32_t> lastMarkedPage(const file::PageFile& file, const format::Format& fmt,
                                            RowPointer where);

// The pages below the end of the file that the global usage map marks free, as flags by page
// number (the map also marks pages past the end, which the file does not have yet).
std::vector<bool> freePageFlags(const file::PageFile& file, const format::Format& fmt);

// The first page at or after `from` and before the end of the file that the map marks;
// nullopt when there is none.
std::optional<std::uint32_t> firstMarkedPage(const file::PageFile& file, const format::Format& fmt,
                                             RowPointer where, std::uint32_t from);

// The usage map pages a reference map (type 1) names; none for an inline map.
std::vector<std::uint32_t> referenceMapPages(const file::PageFile& file, const format::Format& fmt,
                                             RowPointer where);

}  // namespace jet::store
