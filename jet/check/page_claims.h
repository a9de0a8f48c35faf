// Who uses each page. Every structure the checker walks claims the pages it finds; a page
// claimed by two structures is a fault (a writer that frees one would destroy the other), and
// the set of claimed pages is what the global usage map must not call free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/check/fault_list.h"

namespace jet::check {

class PageClaims {
public:
    explicit PageClaims(std::uint32_t pageCount) : owner_(pageCount, kUnclaimed) {}

    // Records that `claimant` (e.g. "the data of table 'Orders'") uses `page`. Reports a fault
    // when another claimant has it already. Claiming a page twice for the same claimant is not
    // a fault; pages beyond the file are for the caller to report.
    void claim(std::uint32_t page, const std::string& claimant, FaultList& faults);

    bool claimed(std::uint32_t page) const {
        return page < owner_.size() && owner_[page] != kUnclaimed;
    }
    const std::string& claimant(std::uint32_t page) const { return names_[owner_[page]]; }
    std::uint32_t pageCount() const { return static_cast<std::uint32_t>(owner_.size()); }

private:
    static constexpr std::uint32_t kUnclaimed = 0xFFFFFFFF;
    std::uint32_t nameId(const std::string& claimant);

    std::vector<std::uint32_t> owner_;  // per page: index into names_
    std::vector<std::string> names_;
};

}  // namespace jet::check
