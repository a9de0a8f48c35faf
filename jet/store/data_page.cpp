#include "jet/store/data_page.h"

#include <string>

namespace jet::store {
namespace {}  // namespace

DataPage::DataPage(const format::Format& fmt, ByteSpan page) : fmt_(fmt), page_(page) {
    slotCount_ = u16(page, fmt.dataRowCountOffset, "the row count of a data page");
    const std::size_t directoryEnd = fmt.dataRowCountOffset + 2 + std::size_t{slotCount_} * 2;
    if (directoryEnd > page.size()) {
        corrupt("a data page claims " + std::to_string(slotCount_) + " rows, more than fit");
    }
}

std::uint32_t DataPage::ownerPage() const { return u32(page_, 4); }

Slot DataPage::slot(std::uint16_t index) const {
    if (index >= slotCount_) corrupt("a row number beyond the rows of its page");
    const std::size_t base = fmt_.dataRowCountOffset + 2;
    const std::uint16_t raw = u16(page_, base + std::size_t{index} * 2);
    Slot s;
    s.deleted = raw & kSlotDeleted;
    s.forwarded = (raw & kSlotForwarded) && !s.deleted;
    if (s.deleted) return s;
    const std::size_t start = raw & kRowOffsetMask;
    // A row ends where the previous slot's row begins: rows fill the page from its end.
    const std::size_t end =
        index == 0 ? page_.size()
                   : (u16(page_, base + (std::size_t{index} - 1) * 2) & kRowOffsetMask);
    const std::size_t directoryEnd = base + std::size_t{slotCount_} * 2;
    if (start < directoryEnd || end > page_.size() || start >= end) {
        corrupt("row " + std::to_string(index) + " of a data page has impossible bounds (" +
                std::to_string(start) + ".." + std::to_string(end) + ")");
    }
    s.bytes = page_.subspan(start, end - start);
    return s;
}

ByteSpan rowAt(const format::Format& fmt, ByteSpan page, std::uint8_t slot) {
    DataPage dp(fmt, page);
    const std::size_t base = fmt.dataRowCountOffset + 2;
    if (slot >= dp.slotCount()) corrupt("a row pointer names a row its page does not have");
    const std::size_t start = u16(page, base + std::size_t{slot} * 2) & kRowOffsetMask;
    const std::size_t end =
        slot == 0 ? page.size() : (u16(page, base + std::size_t{slot - 1u} * 2) & kRowOffsetMask);
    const std::size_t directoryEnd = base + std::size_t{dp.slotCount()} * 2;
    if (start < directoryEnd || end > page.size() || start >= end) {
        corrupt("a row pointer names a row with impossible bounds");
    }
    return page.subspan(start, end - start);
}

}  // namespace jet::store
