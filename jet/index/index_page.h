// Index pages: the B-tree pages that hold an index's entries. Intermediate pages (0x03) point to
// the pages below them; leaf pages (0x04) hold one entry per indexed row. Entries have no slot
// directory: a bitmask marks where each one ends, and every entry after the first leaves out the
// prefix it shares with the first (the page records how long that prefix is).
//
// The header (little-endian; IndexPageLayout holds these offsets):
//
//   OFFSET         SIZE          DESCRIPTION
//   Jet 3  Jet 4   Jet 3  Jet 4
//     0      0       1           page type: 0x03 intermediate, 0x04 leaf
//     1      1       1           0x01
//     2      2       2           free space: the entry area's bytes past the last entry
//     4      4       4           owner: the table's definition page
//     -      8       4           unknown; zero on pages this engine writes
//     8     12       4           previous page on the same level, 0 for none
//    12     16       4           next page on the same level, 0 for none
//    16     20       4           tail page: on an intermediate page the last child, which no
//                                entry names; 0 for none
//    20     24     1      2      P, the length of the shared prefix
//    21     26       1           1 on intermediate pages, 0 on leaves (written, never read)
//    22     27    226    453     entry mask
//   248    480    rest   rest    entry area
//
// Entries lie one after another from the start of the entry area, the first at 0. Bit n of the
// mask (bit n % 8 of mask byte n / 8) is set where an entry ends n bytes in, which is where the
// next one starts; the last set bit is the end of the entries.
//
//   entry area   +----------------+--------------------+--------------------+---------
//                | entry 0, whole | entry 1 less P     | entry 2 less P     |  free
//                +----------------+--------------------+--------------------+---------
//   mask bits                     ^ set                ^ set                ^ set
//
// An entry, whole, is its key and a row pointer, big-endian so that entries sort as bytes:
//
//   leaf          | key ...  | data page (3) | data row (1) |
//   intermediate  | key ...  | data page (3) | data row (1) | child page (4) |
//
// The key is one flag byte and the value's bytes per key column (index_key.h). An intermediate
// entry repeats the key and row pointer of the last entry under its child page. Entries after
// the first leave out their first P bytes, the same as the first entry's first P bytes; P
// counts over the whole entry, row pointer and child page included.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/format/format.h"

namespace jet::index {

inline constexpr std::uint8_t kIntermediatePageType = 0x03;
inline constexpr std::uint8_t kLeafPageType = 0x04;

// Byte offsets on an index page. Jet 3 lacks the four unknown bytes that Jet 4 has after the
// owner field, keeps the prefix length in one byte (its keys are shorter) and its smaller pages
// need a smaller entry mask.
struct IndexPageLayout {
    std::size_t freeSpace;         // bytes left after the last entry
    std::size_t owner;             // the table's definition page
    std::size_t prevPage;          // the previous page on the same level, 0 for none
    std::size_t nextPage;          // the next page on the same level, 0 for none
    std::size_t tailPage;          // intermediate pages: the last child, which no entry names
    std::size_t prefixLength;      // bytes every entry after the first shares with the first
    std::size_t prefixLengthSize;  // 1 (Jet 3) or 2 bytes
    std::size_t intermediateFlag;  // 0x01 on intermediate pages, 0 on leaves
    std::size_t entryMask;         // one bit per byte of the entry area; set where an entry ends
    std::size_t entryMaskSize;
    std::size_t entriesStart;
};
const IndexPageLayout& indexPageLayout(const format::Format& fmt);

// One entry with its shared prefix restored. The key bytes compare as unsigned bytes; the row
// pointer is stored big-endian after them (3 bytes page, 1 byte row), and an intermediate entry
// adds the child page (4 bytes, big-endian).
struct IndexEntry {
    std::vector<std::uint8_t> key;
    std::uint32_t dataPage = 0;
    std::uint8_t dataRow = 0;
    std::uint32_t childPage = 0;  // intermediate pages only: the page this entry is the last of

    bool sameRow(const IndexEntry& other) const {
        return dataPage == other.dataPage && dataRow == other.dataRow;
    }
};

struct IndexPage {
    bool leaf = true;
    std::uint16_t freeSpace = 0;
    std::uint32_t owner = 0;
    std::uint32_t prevPage = 0;
    std::uint32_t nextPage = 0;
    std::uint32_t tailPage = 0;
    std::size_t prefixLength = 0;
    std::size_t entriesEnd = 0;  // offset of the first byte after the last entry
    std::vector<IndexEntry> entries;
};

// Decodes one index page. Throws Error(Corrupt) when it is not an index page, when an entry is
// too short for its row pointer (and child page), or when the entries overrun the page.
IndexPage readIndexPage(const format::Format& fmt, ByteSpan page);

// The order of an index: key bytes (a key that is a prefix of another comes first), then the
// row pointer, so that no two entries of one index compare equal.
int compareEntries(const IndexEntry& a, const IndexEntry& b);

}  // namespace jet::index
