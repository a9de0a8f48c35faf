#include "jet/check/page_claims.h"

namespace jet::check {

std::uint32_t PageClaims::nameId(const std::string& claimant) {
    // Claimants come in runs (a table's pages, then an index's), so the last name is the
    // likeliest match; the list stays short (a few per table).
    for (std::size_t i = names_.size(); i-- > 0;) {
        if (names_[i] == claimant) return static_cast<std::uint32_t>(i);
    }
    names_.push_back(claimant);
    return static_cast<std::uint32_t>(names_.size() - 1);
}

void PageClaims::claim(std::uint32_t page, const std::string& claimant, FaultList& faults) {
    if (page >= owner_.size()) return;
    const std::uint32_t id = nameId(claimant);
    if (owner_[page] == kUnclaimed) {
        owner_[page] = id;
    } else if (owner_[page] != id) {
        faults.add(FaultKind::PageOwnership, "pages used twice",
                   "page " + std::to_string(page) + " is used by " + names_[owner_[page]] +
                       " and also by " + claimant);
    }
}

}  // namespace jet::check
