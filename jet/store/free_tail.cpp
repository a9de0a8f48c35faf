#include "jet/store/free_tail.h"

#include <algorithm>
#include <vector>

#include "jet/store/catalog.h"
#include "jet/store/pages_in_use.h"
#include "jet/store/usage_map.h"
#include "jet/store/usage_map_writer.h"

namespace jet::store {

std::uint32_t cutFreeTail(file::PageFile& file, const format::Format& fmt) {
    const std::uint32_t pages = file.pageCount();
    constexpr std::uint32_t kAlwaysKept = kCatalogDefinitionPage + 1;
    if (pages <= kAlwaysKept) return 0;
    // Two readings must agree before a page goes: the global map calls it free, and no table
    // reaches it (a damaged map may call a page in use free).
    const std::vector<bool> inUse = pagesInUse(file, fmt);
    // The global map's own pages are not among those: they are in use wherever they lie.
    const std::vector<std::uint32_t> mapPages = referenceMapPages(file, fmt, kGlobalUsageMap);
    std::uint32_t end = pages;
    while (end > kAlwaysKept) {
        const std::uint32_t page = end - 1;
        if ((page < inUse.size() && inUse[page]) ||
            std::find(mapPages.begin(), mapPages.end(), page) != mapPages.end()) {
            break;
        }
        const auto free = firstMarkedPage(file, fmt, kGlobalUsageMap, page);
        if (!free || *free != page) break;
        end = page;
    }
    if (end == pages) return 0;
    file.truncate(end);
    return pages - end;
}

}  // namespace jet::store
