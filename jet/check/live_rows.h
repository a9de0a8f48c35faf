// The live rows of a table, as the index checks need them: whether a row an entry names is
// live, and its number among the live rows (in page order, then slot order) to keep a bit per
// row against. Kept as a bit per slot of each data page with live rows and three numbers per
// page: under five bits a row on a table of small rows, where a list of row pointers took 32.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace jet::check {

class LiveRows {
public:
    // Room for rows on `pages` pages, so that the list of pages is not copied as it grows.
    void reserve(std::size_t pages) { pages_.reserve(pages); }

    // REQUIRES: rows come in ascending order of page, then of slot.
    void add(std::uint32_t page, std::uint16_t slot);

    std::uint64_t size() const { return count_; }

    // The row's number among the live rows (0 for the first), or nothing when it is not live.
    std::optional<std::uint64_t> number(std::uint32_t page, std::uint16_t slot) const;

    // Calls f(number, page, slot) for every live row, in order.
    template <typename F>
    void forEach(F&& f) const {
        std::uint64_t number = 0;
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            const std::uint64_t end = i + 1 < pages_.size() ? pages_[i + 1].firstBit : bitCount_;
            for (std::uint64_t b = pages_[i].firstBit; b < end; ++b) {
                if (bit(b))
                    f(number++, pages_[i].page, static_cast<std::uint16_t>(b - pages_[i].firstBit));
            }
        }
    }

private:
    struct PageRows {
        std::uint32_t page = 0;
        std::uint64_t firstBit = 0;     // of the page's slot 0 in bits_
        std::uint64_t firstNumber = 0;  // of the page's first live row
    };
    bool bit(std::uint64_t b) const { return (bits_[b / 64] >> (b % 64)) & 1; }

    std::vector<PageRows> pages_;      // ascending
    std::vector<std::uint64_t> bits_;  // per page, a bit per slot up to its last live row
    std::uint64_t bitCount_ = 0;
    std::uint64_t count_ = 0;
};

}  // namespace jet::check
