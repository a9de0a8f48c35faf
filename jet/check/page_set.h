// A set of pages of one file, one bit per page: what the checks use to remember the pages a
// structure owns or reached, at a cost that depends on the size of the file only (32 KiB per
// GiB of 4 KiB pages), not on how many pages are in the set.
#pragma once

#include <cstdint>
#include <vector>

namespace jet::check {

class PageSet {
public:
    PageSet() = default;
    explicit PageSet(std::uint32_t pageCount) : bits_(pageCount, false) {}

    // Adds `page`; whether it was not in the set before. Pages past the end are never in it.
    bool insert(std::uint32_t page) {
        if (page >= bits_.size() || bits_[page]) return false;
        bits_[page] = true;
        return true;
    }
    template <typename Pages>
    void insertAll(const Pages& pages) {
        for (const std::uint32_t p : pages) insert(p);
    }
    bool contains(std::uint32_t page) const { return page < bits_.size() && bits_[page]; }

    // Calls f(page) for every page of the set, in ascending order.
    template <typename F>
    void forEach(F&& f) const {
        for (std::uint32_t p = 0; p < bits_.size(); ++p) {
            if (bits_[p]) f(p);
        }
    }

private:
    std::vector<bool> bits_;
};

}  // namespace jet::check
