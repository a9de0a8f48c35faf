// The slot directory of a data page (and of a long-value page, which has the same layout),
// checked: every row inside the page, after the directory, the rows descending from the end
// of the page without overlapping, and the page's free-space figure equal to the gap between
// the directory and the lowest row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/check/fault_list.h"
#include "jet/format/format.h"

namespace jet::check {

// What a slot holds, from its two flag bits. Access deletes a row by setting both; a row too
// big for its page after an update moves elsewhere: its slot keeps a pointer (forwarded) and
// the moved body is flagged deleted only, so that scans skip it.
enum class SlotState { Live, Forwarded, MovedBody, Deleted };

struct SlotInfo {
    SlotState state = SlotState::Live;
    std::uint16_t start = 0;  // the row's bytes: [start, end)
    std::uint16_t end = 0;
    bool sound = true;  // false when its bounds are impossible; its bytes must not be read
};

// Checks the directory and free space of data page `pageNo`; `owner` names what the page belongs
// to, for the descriptions. Returns one entry per slot.
std::vector<SlotInfo> checkSlotDirectory(const format::Format& fmt, ByteSpan page,
                                         std::uint32_t pageNo, const std::string& owner,
                                         FaultList& faults);

}  // namespace jet::check
