#include "jet/check/row_marks.h"

namespace jet::check {

bool RowMarks::insert(std::uint32_t page, std::uint8_t slot) {
    if (slotsOf_.empty()) slotsOf_.assign(pageCount_, 0);
    std::uint32_t& at = slotsOf_.at(page);
    if (at == 0) {
        slots_.push_back(Slots{});
        at = static_cast<std::uint32_t>(slots_.size());
    }
    std::uint64_t& word = slots_[at - 1][slot / 64];
    const std::uint64_t bit = std::uint64_t{1} << (slot % 64);
    if (word & bit) return false;
    word |= bit;
    return true;
}

}  // namespace jet::check
