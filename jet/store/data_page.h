// The slot directory of a data page (also of long-value pages, which share its layout): where
// each row starts and ends, and whether it is deleted or forwarded to another page.
//
// A data page starts with this header (little-endian, like every number outside index entries):
//
//   OFFSET         SIZE  DESCRIPTION
//   Jet 3  Jet 4
//     0      0       1   page type, 0x01
//     1      1       1   0x01
//     2      2       2   free space: the bytes between the end of the slot directory and the
//                        lowest row
//     4      4       4   owner: the table's definition page ("LVAL" on long-value pages)
//     -      8       4   unknown; zero on pages this engine makes
//     8     12       2   row count n (Format::dataRowCountOffset)
//    10     14     2 n   the slots, one per row
//
// The directory grows down the page and the rows grow up from its end, in slot order: row 0
// ends at the page's last byte and every later row ends where the one before it starts, so a
// row's length is never stored. Row pointers elsewhere (TDEF fields, long-value references,
// forwarded rows) name a row as its page and its slot number.
//
//      +----------------+  0
//      | header         |  10 bytes (Jet 3), 14 bytes (Jet 4 and ACE)
//      +----------------+
//      | slot 0         |  |  2 bytes per row
//      | slot 1 ...     |  v
//      +----------------+
//      | free space     |
//      +----------------+
//      | row n-1 ...    |  ^
//      | row 1          |  |
//      | row 0          |
//      +----------------+  page size (2048 Jet 3, 4096 Jet 4 and ACE)
//
// A slot holds the offset of its row's first byte and two flags (bit 13 is ignored):
//
//      15   14   13   12                               0
//     +----+----+----+----------------------------------+
//     | D  | F  | -  | offset of the row from the page  |
//     +----+----+----+----------------------------------+
//
//      D F
//      0 0   a live row
//      0 1   a forwarded row: its first four bytes name the row's body on another page, the
//            slot in byte 0 and the page in bytes 1-3; writers keep every row at least that long
//      1 0   the moved body of a forwarded row, read only through its pointer
//      1 1   a deleted row (this engine deletes that way; a reader takes D alone as gone)
#pragma once

#include <cstdint>

#include "jet/base/bytes.h"
#include "jet/format/format.h"

namespace jet::store {

inline constexpr std::uint8_t kDataPageType = 0x01;
inline constexpr std::uint8_t kTdefPageType = 0x02;
inline constexpr std::uint8_t kUsageMapPageType = 0x05;

// A slot holds the row's offset in its low 13 bits and these flags above them.
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
inline constexpr std::uint16_t kSlotDeleted = 0x8000;    // deleted, or a moved row's body
inline constexpr std::uint16_t kSlotForwarded = 0x4000;  // holds a pointer to the row's body

struct Slot {
    ByteSpan bytes;          // the row's bytes; empty for a deleted row
    bool deleted = false;    // deleted, or the moved body of a forwarded row
    bool forwarded = false;  // holds a pointer to the row's body elsewhere
};

class DataPage {
public:
    DataPage(const format::Format& fmt, ByteSpan page);

    std::uint32_t ownerPage() const;  // the owning table's definition page
    std::uint16_t slotCount() const { return slotCount_; }
    // Throws Error(Corrupt) when the slot lies outside the page or overlaps its directory.
    Slot slot(std::uint16_t index) const;

private:
    const format::Format& fmt_;
    ByteSpan page_;
    std::uint16_t slotCount_ = 0;
};

// The bytes of the row a row pointer names, following nothing: long-value rows and usage maps
// are addressed this way.
ByteSpan rowAt(const format::Format& fmt, ByteSpan page, std::uint8_t slot);

}  // namespace jet::store
