#include "jet/check/live_rows.h"

#include <algorithm>
#include <bit>
#include <cassert>

namespace jet::check {

void LiveRows::add(std::uint32_t page, std::uint16_t slot) {
    if (pages_.empty() || pages_.back().page != page) {
        assert(pages_.empty() || pages_.back().page < page);
        pages_.push_back(PageRows{page, bitCount_, count_});
    }
    const std::uint64_t b = pages_.back().firstBit + slot;
    assert(b >= bitCount_);
    bitCount_ = b + 1;
    bits_.resize((bitCount_ + 63) / 64, 0);
    bits_[b / 64] |= std::uint64_t{1} << (b % 64);
    ++count_;
}

std::optional<std::uint64_t> LiveRows::number(std::uint32_t page, std::uint16_t slot) const {
    const auto at = std::lower_bound(pages_.begin(), pages_.end(), page,
                                     [](const PageRows& p, std::uint32_t n) { return p.page < n; });
    if (at == pages_.end() || at->page != page) return std::nullopt;
    const std::uint64_t end = at + 1 != pages_.end() ? (at + 1)->firstBit : bitCount_;
    const std::uint64_t b = at->firstBit + slot;
    if (b >= end || !bit(b)) return std::nullopt;
    // The live rows before it on its page: the set bits from the page's first to its own.
    std::uint64_t before = 0;
    for (std::uint64_t from = at->firstBit; from < b;) {
        const std::uint64_t word = bits_[from / 64] >> (from % 64);
        const std::uint64_t take = std::min<std::uint64_t>(64 - from % 64, b - from);
        before += std::popcount(take == 64 ? word : word & ((std::uint64_t{1} << take) - 1));
        from += take;
    }
    return at->firstNumber + before;
}

}  // namespace jet::check
