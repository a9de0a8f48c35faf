#include "jet/store/usage_map_writer.h"

#include <string>

#include "jet/store/data_page.h"

namespace jet::store {
namespace {

// Where the bit for `page` lives: which page holds it and at which byte and bit. Null page when
// the map cannot hold it.
struct BitLocation {
    std::uint32_t holderPage = 0;
    std::size_t byte = 0;
    int bit = 0;
};

bool locateBit(const file::PageFile& file, const format::Format& fmt, RowPointer where,
               std::uint32_t page, BitLocation& out) {
    const auto holder = file.page(where.page);
    const ByteSpan row = rowAt(fmt, *holder, where.slot);
    const std::size_t rowStart = static_cast<std::size_t>(row.data() - holder->data());
    switch (u8(row, 0, "a usage map")) {
        case 0x00: {
            const std::uint32_t start = u32(row, 1, "a usage map");
            const std::uint64_t bits = (row.size() - 5) * 8;
            if (page < start || page - start >= bits) return false;
            const std::uint32_t index = page - start;
            out = {where.page, rowStart + 5 + index / 8, static_cast<int>(index % 8)};
            return true;
        }
        case 0x01: {
            const std::uint64_t perMapPage = std::uint64_t{fmt.pageSize - 4} * 8;
            const std::size_t entry = page / perMapPage;
            if (1 + entry * 4 + 4 > row.size()) return false;
            const std::uint32_t mapPage = u32(row, 1 + entry * 4);
            if (mapPage == 0) return false;
            const auto map = file.page(mapPage);
            if ((*map)[0] != kUsageMapPageType) corrupt("a usage map names a page that is not one");
            const std::uint64_t index = page % perMapPage;
            out = {mapPage, 4 + index / 8, static_cast<int>(index % 8)};
            return true;
        }
        default:
            corrupt("a usage map of unknown type");
    }
}

}  // namespace

bool covers(const file::PageFile& file, const format::Format& fmt, RowPointer where,
            std::uint32_t page) {
    BitLocation loc;
    return locateBit(file, fmt, where, page, loc);
}

void markPage(file::PageFile& file, const format::Format& fmt, RowPointer where,
              std::uint32_t page, bool on) {
    BitLocation loc;
    if (!locateBit(file, fmt, where, page, loc)) {
        throw Error(ErrorCode::Unsupported,
                    "Page " + std::to_string(page) + " lies outside the range of a usage map; "
                    "growing usage maps is not supported yet, so the database is left as it is.");
    }
    file::Page copy = *file.page(loc.holderPage);
    const auto mask = static_cast<std::uint8_t>(1u << loc.bit);
    copy[loc.byte] = on ? static_cast<std::uint8_t>(copy[loc.byte] | mask)
                        : static_cast<std::uint8_t>(copy[loc.byte] & ~mask);
    file.writePage(loc.holderPage, copy);
}

}  // namespace jet::store
