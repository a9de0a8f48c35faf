// The slot directory of a data page (also of long-value pages, which share its layout): where
// each row starts and ends, and whether it is deleted or forwarded to another page.
#pragma once

#include <cstdint>

#include "jet/format/format.h"
#include "jet/base/bytes.h"

namespace jet::store {

inline constexpr std::uint8_t kDataPageType = 0x01;
inline constexpr std::uint8_t kTdefPageType = 0x02;
inline constexpr std::uint8_t kUsageMapPageType = 0x05;

// A slot holds the row's offset in its low 13 bits and these flags above them.
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
inline constexpr std::uint16_t kSlotDeleted = 0x8000;    // deleted, or a moved row's body
inline constexpr std::uint16_t kSlotForwarded = 0x4000;  // holds a pointer to the row's body

struct Slot {
    ByteSpan bytes;         // the row's bytes; empty for a deleted row
    bool deleted = false;   // deleted, or the moved body of a forwarded row
    bool forwarded = false; // holds a pointer to the row's body elsewhere
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
