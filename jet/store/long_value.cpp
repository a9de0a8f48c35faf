#include "jet/store/long_value.h"

#include <algorithm>
#include <set>
#include <string>

#include "jet/store/data_page.h"

namespace jet::store {
std::vector<std::uint8_t> inlineLongValue(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out(kLongValueReferenceSize + data.size(), 0);
    const auto header = static_cast<std::uint32_t>(data.size()) | kLongValueInline;
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(header >> (8 * i));
    std::copy(data.begin(), data.end(), out.begin() + kLongValueReferenceSize);
    return out;
}

std::vector<std::uint8_t> readLongValue(const file::PageFile& file, const format::Format& fmt,
                                        ByteSpan field) {
    need(field, 0, kLongValueReferenceSize, "a long value reference");
    const std::uint32_t header = u32(field, 0);
    const std::size_t length = header & kLongValueLengthMask;
    if (length > file.sizeInBytes()) {
        corrupt("a long value claims " + std::to_string(length) + " bytes, more than the file");
    }
    if (header & kLongValueInline) {
        return std::vector<std::uint8_t>(
            field.begin() + kLongValueReferenceSize,
            field.begin() + kLongValueReferenceSize +
                static_cast<std::ptrdiff_t>(
                    slice(field, kLongValueReferenceSize, length, "an inline long value").size()));
    }
    RowPointer where = RowPointer::from(u32(field, 4));
    if (header & kLongValueSingleRow) {
        const auto page = file.page(where.page);
        const ByteSpan row = rowAt(fmt, *page, where.slot);
        const ByteSpan data = slice(row, 0, length, "a long value");
        return std::vector<std::uint8_t>(data.begin(), data.end());
    }
    std::vector<std::uint8_t> out;
    out.reserve(length);
    std::set<std::uint64_t> seen;
    while (out.size() < length) {
        if (where.page == 0) corrupt("a long value chain ends early");
        if (!seen.insert((std::uint64_t{where.page} << 8) | where.slot).second) {
            corrupt("a long value chain loops");
        }
        const auto page = file.page(where.page);
        const ByteSpan row = rowAt(fmt, *page, where.slot);
        const RowPointer next = RowPointer::from(u32(row, 0, "a long value chain"));
        const ByteSpan part = row.subspan(4);
        const std::size_t take = std::min(part.size(), length - out.size());
        out.insert(out.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(take));
        where = next;
    }
    return out;
}

}  // namespace jet::store
