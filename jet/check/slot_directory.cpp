#include "jet/check/slot_directory.h"

#include <algorithm>

#include "jet/store/data_page.h"

namespace jet::check {
namespace {

constexpr std::size_t kFreeSpaceOffset = 2;

SlotState stateOf(std::uint16_t raw) {
    const bool deleted = raw & store::kSlotDeleted;
    const bool forwarded = raw & store::kSlotForwarded;
    if (deleted) return forwarded ? SlotState::Deleted : SlotState::MovedBody;
    return forwarded ? SlotState::Forwarded : SlotState::Live;
}

}  // namespace

std::vector<SlotInfo> checkSlotDirectory(const format::Format& fmt, ByteSpan page,
                                         std::uint32_t pageNo, const std::string& owner,
                                         FaultList& faults) {
    const std::string where = "page " + std::to_string(pageNo) + " (" + owner + ")";
    const std::size_t pageSize = page.size();
    const std::uint16_t count = u16(page, fmt.dataRowCountOffset);
    const std::size_t directoryEnd = fmt.dataRowCountOffset + 2 + std::size_t{count} * 2;
    if (directoryEnd > pageSize) {
        faults.add(FaultKind::RowLayout, where + ": the page claims " + std::to_string(count) +
                                             " rows, more than their directory has room for");
        return {};
    }

    std::vector<SlotInfo> slots(count);
    std::size_t previousStart = pageSize;
    std::size_t lowest = pageSize;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint16_t raw = u16(page, fmt.dataRowCountOffset + 2 + std::size_t{i} * 2);
        SlotInfo& s = slots[i];
        s.state = stateOf(raw);
        const std::size_t start = raw & store::kRowOffsetMask;
        const auto row = [&] { return where + ", row " + std::to_string(i); };
        if (start > pageSize) {
            faults.add(FaultKind::RowLayout, where,
                       row() + " starts at offset " + std::to_string(start) +
                           ", beyond the end of the page");
            s.sound = false;
        } else if (start < directoryEnd) {
            faults.add(FaultKind::RowLayout, where,
                       row() + " starts at offset " + std::to_string(start) +
                           ", inside the slot directory (which ends at " +
                           std::to_string(directoryEnd) + ")");
            s.sound = false;
        } else if (start > previousStart) {
            faults.add(FaultKind::RowLayout, where,
                       row() + " starts at offset " + std::to_string(start) +
                           ", above the start of the row before it (" +
                           std::to_string(previousStart) + "): rows overlap or are out of order");
            s.sound = false;
        } else if (start == previousStart && s.state != SlotState::Deleted) {
            // Deleted rows may give up their bytes; any other row has at least a header.
            faults.add(FaultKind::RowLayout, where, row() + " holds no bytes");
            s.sound = false;
        }
        s.start = static_cast<std::uint16_t>(std::min(start, pageSize));
        s.end = static_cast<std::uint16_t>(std::max(previousStart, std::size_t{s.start}));
        previousStart = std::min(previousStart, std::size_t{s.start});
        lowest = std::min(lowest, std::size_t{s.start});
    }

    // Rows fill the page from its end and the directory grows from its header; the free space
    // is exactly what lies between them (deleted rows that kept their bytes still take space).
    // With a row out of bounds there is no telling where the rows begin.
    if (std::any_of(slots.begin(), slots.end(), [](const SlotInfo& s) { return !s.sound; })) {
        return slots;
    }
    const std::uint16_t recorded = u16(page, kFreeSpaceOffset);
    const std::size_t actual = lowest >= directoryEnd ? lowest - directoryEnd : 0;
    if (recorded != actual) {
        faults.add(FaultKind::FreeSpace, where + ": its free-space figure is " +
                                             std::to_string(recorded) + " bytes, but " +
                                             std::to_string(actual) +
                                             " lie between the slot directory and the rows");
    }
    return slots;
}

}  // namespace jet::check
