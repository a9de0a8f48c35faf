// A set of rows as row pointers name them (a page and a one-byte slot): the long-value rows a
// value has used, the moved bodies a forwarded row has reached. Each page with a row in the set
// has 256 bits; a table of the pages is made on the first row added, four bytes per page of
// the file. So a file with millions of long values costs a few bytes per page, not tens of
// bytes per value.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace jet::check {

class RowMarks {
public:
    explicit RowMarks(std::uint32_t pageCount) : pageCount_(pageCount) {}

    // Adds the row; whether it was not in the set before. REQUIRES: page < the page count
    // (std::out_of_range otherwise).
    bool insert(std::uint32_t page, std::uint8_t slot);

private:
    using Slots = std::array<std::uint64_t, 4>;
    std::uint32_t pageCount_;
    std::vector<std::uint32_t> slotsOf_;  // per page: 1 + its place in slots_, 0 for none
    std::vector<Slots> slots_;
};

}  // namespace jet::check
