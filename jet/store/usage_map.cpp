#include "jet/store/usage_map.h"

#include <optional>
#include <string>

#include "jet/store/data_page.h"

namespace jet::store {
namespace {

void collect(ByteSpan bitmap, std::uint64_t firstPage, std::uint32_t pageCount,
             std::vector<std::uint32_t>& pages) {
    for (std::size_t byte = 0; byte < bitmap.size(); ++byte) {
        if (bitmap[byte] == 0) continue;
        for (int bit = 0; bit < 8; ++bit) {
            if (!(bitmap[byte] & (1u << bit))) continue;
            const std::uint64_t page = firstPage + byte * 8 + static_cast<unsigned>(bit);
            if (page >= pageCount) {
                corrupt("a usage map marks page " + std::to_string(page) +
                        ", beyond the end of the file");
            }
            pages.push_back(static_cast<std::uint32_t>(page));
        }
    }
}

// Calls visit(bitmap, first page it covers) for each bitmap of the usage map row at `where`, in
// page order.
template <typename Visit>
void forEachBitmap(const file::PageFile& file, const format::Format& fmt, RowPointer where,
                   Visit visit) {
    const auto holder = file.page(where.page);
    const ByteSpan row = rowAt(fmt, *holder, where.slot);
    switch (u8(row, 0, "a usage map")) {
        case 0x00: {
            const std::uint32_t start = u32(row, 1, "a usage map");
            visit(row.subspan(5), start);
            break;
        }
        case 0x01: {
            // Each map page holds a bitmap after a 4-byte header.
            const std::uint64_t pagesPerMapPage = std::uint64_t{fmt.pageSize - 4} * 8;
            const std::size_t entries = (row.size() - 1) / 4;
            for (std::size_t i = 0; i < entries; ++i) {
                const std::uint32_t mapPage = u32(row, 1 + i * 4);
                if (mapPage == 0) continue;
                const auto map = file.page(mapPage);
                if ((*map)[0] != kUsageMapPageType) {
                    corrupt("a usage map points to page " + std::to_string(mapPage) +
                            ", which is not a usage map page");
                }
                visit(ByteSpan(*map).subspan(4), i * pagesPerMapPage);
            }
            break;
        }
        default:
            corrupt("a usage map of unknown type " + std::to_string(row[0]));
    }
}

// The highest page a bitmap marks, if any.
std::optional<std::uint64_t> lastMarked(ByteSpan bitmap, std::uint64_t firstPage) {
    for (std::size_t byte = bitmap.size(); byte-- > 0;) {
        if (bitmap[byte] == 0) continue;
        int bit = 7;
        while (!(bitmap[byte] & (1u << bit))) --bit;
        return firstPage + byte * 8 + static_cast<unsigned>(bit);
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::uint32_t> readUsageMap(const file::PageFile& file, const format::Format& fmt,
                                        RowPointer where) {
    std::vector<std::uint32_t> pages;
    forEachBitmap(file, fmt, where, [&](ByteSpan bitmap, std::uint64_t firstPage) {
        collect(bitmap, firstPage, file.pageCount(), pages);
    });
    return pages;
}

std::optional<std::uint32_t> lastMarkedPage(const file::PageFile& file, const format::Format& fmt,
                                            RowPointer where) {
    std::optional<std::uint64_t> last;
    forEachBitmap(file, fmt, where, [&](ByteSpan bitmap, std::uint64_t firstPage) {
        const auto found = lastMarked(bitmap, firstPage);
        if (!found) return;
        // A map that marks a page beyond the end of the file is damaged; the full reading
        // names the first such page.
        if (*found >= file.pageCount()) readUsageMap(file, fmt, where);
        last = found;
    });
    if (!last) return std::nullopt;
    return static_cast<std::uint32_t>(*last);
}

std::vector<bool> freePageFlags(const file::PageFile& file, const format::Format& fmt) {
    const std::uint64_t end = file.pageCount();
    std::vector<bool> free(end, false);
    forEachBitmap(file, fmt, kGlobalUsageMap, [&](ByteSpan bitmap, std::uint64_t firstPage) {
        for (std::uint64_t bit = 0; bit < bitmap.size() * 8 && firstPage + bit < end; ++bit) {
            if (bitmap[bit / 8] & (1u << (bit % 8))) free[firstPage + bit] = true;
        }
    });
    return free;
}

std::optional<std::uint32_t> firstMarkedPage(const file::PageFile& file, const format::Format& fmt,
                                             RowPointer where, std::uint32_t from) {
    const std::uint64_t end = file.pageCount();
    std::optional<std::uint32_t> first;
    forEachBitmap(file, fmt, where, [&](ByteSpan bitmap, std::uint64_t firstPage) {
        if (first || firstPage >= end || firstPage + bitmap.size() * 8 <= from) return;
        const std::uint64_t start = from > firstPage ? from - firstPage : 0;
        for (std::uint64_t bit = start; bit < bitmap.size() * 8 && firstPage + bit < end;) {
            if (bit % 8 == 0 && bitmap[bit / 8] == 0) {
                bit += 8;
                continue;
            }
            if (bitmap[bit / 8] & (1u << (bit % 8))) {
                first = static_cast<std::uint32_t>(firstPage + bit);
                return;
            }
            ++bit;
        }
    });
    return first;
}

std::vector<std::uint32_t> referenceMapPages(const file::PageFile& file, const format::Format& fmt,
                                             RowPointer where) {
    const auto holder = file.page(where.page);
    const ByteSpan row = rowAt(fmt, *holder, where.slot);
    std::vector<std::uint32_t> pages;
    if (u8(row, 0, "a usage map") != 0x01) return pages;
    for (std::size_t i = 0; i + 1 + 4 <= row.size(); i += 4) {
        const std::uint32_t mapPage = u32(row, 1 + i);
        if (mapPage != 0) pages.push_back(mapPage);
    }
    return pages;
}

}  // namespace jet::store
