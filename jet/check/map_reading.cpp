#include "jet/check/map_reading.h"

#include <string>

#include "jet/store/data_page.h"

namespace jet::check {
namespace {

constexpr std::uint8_t kInlineMap = 0x00;
constexpr std::uint8_t kIndirectMap = 0x01;
constexpr std::size_t kInlineBitmapStart = 5;
constexpr std::size_t kMapPageBitmapStart = 4;

void collect(ByteSpan bitmap, std::uint64_t firstPage, std::uint32_t pageCount, MapReading& out) {
    for (std::size_t byte = 0; byte < bitmap.size(); ++byte) {
        if (bitmap[byte] == 0) continue;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (!(bitmap[byte] & (1u << bit))) continue;
            const std::uint64_t page = firstPage + byte * 8 + bit;
            if (page < pageCount) {
                out.pages.push_back(static_cast<std::uint32_t>(page));
            } else {
                ++out.pagesBeyondEnd;
            }
        }
    }
}

}  // namespace

MapReading readMap(const file::PageFile& file, const format::Format& fmt, RowPointer where) {
    if (where.page == 0 || where.page >= file.pageCount()) {
        corrupt("its usage map is said to be on page " + std::to_string(where.page) +
                ", which is not in the file");
    }
    const auto holder = file.page(where.page);
    if ((*holder)[0] != store::kDataPageType) {
        corrupt("its usage map is said to be on page " + std::to_string(where.page) +
                ", which holds no rows");
    }
    const ByteSpan row = store::rowAt(fmt, *holder, where.slot);
    MapReading out;
    const std::uint8_t type = u8(row, 0, "a usage map");
    if (type == kInlineMap) {
        const std::uint32_t start = u32(row, 1, "a usage map");
        collect(row.subspan(kInlineBitmapStart), start, file.pageCount(), out);
    } else if (type == kIndirectMap) {
        const std::uint64_t pagesPerMapPage = std::uint64_t{fmt.pageSize - kMapPageBitmapStart} * 8;
        for (std::size_t i = 0; 1 + i * 4 + 4 <= row.size(); ++i) {
            const std::uint32_t mapPage = u32(row, 1 + i * 4);
            if (mapPage == 0) continue;
            if (mapPage >= file.pageCount()) {
                corrupt("its usage map refers to map page " + std::to_string(mapPage) +
                        ", beyond the end of the file");
            }
            const auto map = file.page(mapPage);
            if ((*map)[0] != store::kUsageMapPageType) {
                corrupt("its usage map refers to page " + std::to_string(mapPage) +
                        " as a map page, but that page has type " + std::to_string((*map)[0]));
            }
            out.mapPages.push_back(mapPage);
            collect(ByteSpan(*map).subspan(kMapPageBitmapStart), i * pagesPerMapPage,
                    file.pageCount(), out);
        }
    } else {
        corrupt("its usage map has unknown type " + std::to_string(type));
    }
    return out;
}

}  // namespace jet::check
