#include "jet/store/usage_map_writer.h"

#include <algorithm>
#include <string>

#include "jet/store/data_page.h"
#include "jet/store/data_page_writer.h"
#include "jet/store/pages_in_use.h"
#include "jet/store/usage_map.h"

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

void markPage(file::PageFile& file, const format::Format& fmt, RowPointer where, std::uint32_t page,
              bool on) {
    BitLocation loc;
    if (!locateBit(file, fmt, where, page, loc)) {
        throw Error(
            ErrorCode::Unsupported,
            "Page " + std::to_string(page) +
                " lies outside the range of a usage map; "
                "growing usage maps is not supported yet, so the database is left as it is.");
    }
    const auto mask = static_cast<std::uint8_t>(1u << loc.bit);
    // A page given back to the file may be taken again in the same write.
    if (on && where.page == kGlobalUsageMap.page && where.slot == kGlobalUsageMap.slot) {
        auto& search = file.freePageSearch();
        search.from = std::min(search.from, page);
    }
    std::uint8_t& bits = file.edit(loc.holderPage)[loc.byte];
    bits = on ? static_cast<std::uint8_t>(bits | mask) : static_cast<std::uint8_t>(bits & ~mask);
}

namespace {

constexpr std::uint8_t kInlineMap = 0x00;
constexpr std::uint8_t kReferenceMap = 0x01;

std::vector<std::uint8_t> mapRow(const file::PageFile& file, const format::Format& fmt,
                                 RowPointer where) {
    const auto holder = file.page(where.page);
    const ByteSpan row = rowAt(fmt, *holder, where.slot);
    return {row.begin(), row.end()};
}

void replaceMapRow(file::PageFile& file, const format::Format& fmt, RowPointer where,
                   const std::vector<std::uint8_t>& row) {
    DataPageWriter w(fmt, *file.page(where.page));
    const std::uint16_t flags = 0;
    if (!w.replaceRow(where.slot, row, flags)) {
        throw Error(ErrorCode::Unsupported, "A usage map of '" + file.path() +
                                                "' must grow, but the page that holds it "
                                                "(page " +
                                                std::to_string(where.page) +
                                                ") has no room; nothing was changed.");
    }
    file.writePage(where.page, w.page());
}

// An inline map whose window does not reach `page`: moves the window when the pages it marks
// and `page` fit in it; false when they do not.
bool moveWindow(file::PageFile& file, const format::Format& fmt, RowPointer where,
                std::vector<std::uint8_t> row, std::uint32_t page) {
    const std::uint64_t window = (row.size() - 5) * 8;
    std::vector<std::uint32_t> marked = readUsageMap(file, fmt, where);
    const std::uint32_t low = std::min(marked.empty() ? page : marked.front(), page) & ~7u;
    const std::uint32_t high = std::max(marked.empty() ? page : marked.back(), page);
    if (high - low >= window) return false;
    std::fill(row.begin() + 5, row.end(), 0);
    put32(row, 1, low);
    for (const std::uint32_t p : marked)
        row[5 + (p - low) / 8] |= static_cast<std::uint8_t>(1u << ((p - low) % 8));
    replaceMapRow(file, fmt, where, row);
    return true;
}

}  // namespace

std::uint32_t appendPageAtEnd(file::PageFile& file, const format::Format& fmt,
                              const std::vector<RowPointer>& ownerMaps) {
    // Making room may itself take pages (a map that becomes a reference map gets pages of its
    // own), so the new page's number is settled only once every map reaches it.
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Before the maps grow towards a page the file may not have.
        file.requireRoom(1);
        const std::uint32_t page = file.pageCount();
        bool settled = true;
        if (!covers(file, fmt, kGlobalUsageMap, page)) {
            growGlobalMap(file, fmt, page);
            if (file.pageCount() != page) continue;
        }
        for (const RowPointer map : ownerMaps) {
            if (covers(file, fmt, map, page)) continue;
            makeRoom(file, fmt, map, page);
            settled = settled && file.pageCount() == page;
        }
        if (!settled) continue;
        if (file.appendPage() != page) corrupt("a new page did not land at the end of the file");
        for (const RowPointer map : ownerMaps) markPage(file, fmt, map, page, true);
        markPage(file, fmt, kGlobalUsageMap, page, false);  // its set bits are the free pages
        return page;
    }
    corrupt("the usage maps keep needing new pages");
}

namespace {

// The first page the global map marks free, marked used and in `ownerMaps`, and zeroed; nullopt
// when there is none or an owner's map cannot reach it.
std::optional<std::uint32_t> takeFreePage(file::PageFile& file, const format::Format& fmt,
                                          const std::vector<RowPointer>& ownerMaps) {
    // Pages 0 to 2 (the header, the global map, the catalog's definition) are never free. A
    // page in use that the map calls free (a damaged map) is passed over; what is in use is
    // worked out once a write, when the map first offers a page.
    auto& search = file.freePageSearch();
    std::uint32_t from = std::max<std::uint32_t>(search.from, 3);
    std::optional<std::uint32_t> page;
    while ((page = firstMarkedPage(file, fmt, kGlobalUsageMap, from))) {
        std::vector<bool>& inUse = search.inUse;
        if (inUse.empty()) {
            try {
                inUse = pagesInUse(file, fmt);
            } catch (const Error&) {
                // What cannot be read cannot vouch for a page: this write takes none.
                inUse.assign(file.pageCount(), true);
            }
        }
        if (*page >= inUse.size() || !inUse[*page]) break;
        from = *page + 1;
    }
    if (!page) {
        search.from = file.pageCount();
        return std::nullopt;
    }
    search.from = *page + 1;
    for (const RowPointer map : ownerMaps) {
        if (covers(file, fmt, map, *page)) continue;
        try {
            makeRoom(file, fmt, map, *page);
        } catch (const Error& e) {
            if (e.code() != ErrorCode::Unsupported) throw;
            return std::nullopt;  // the page stays free; the end of the file serves
        }
    }
    file.writePage(*page, file::Page(fmt.pageSize, 0));
    for (const RowPointer map : ownerMaps) markPage(file, fmt, map, *page, true);
    markPage(file, fmt, kGlobalUsageMap, *page, false);
    return page;
}

}  // namespace

std::uint32_t appendPage(file::PageFile& file, const format::Format& fmt,
                         const std::vector<RowPointer>& ownerMaps) {
    if (const auto reused = takeFreePage(file, fmt, ownerMaps)) return *reused;
    return appendPageAtEnd(file, fmt, ownerMaps);
}

namespace {

// Gives entry `entry` of the global reference map a page of its own, at the end of the file:
// the pages it covers that lie past the end of the file are free, the others in use (the
// caller marks the free ones).
void addGlobalMapPage(file::PageFile& file, const format::Format& fmt, std::size_t entry) {
    std::vector<std::uint8_t> row = mapRow(file, fmt, kGlobalUsageMap);
    const std::uint64_t perMapPage = std::uint64_t{fmt.pageSize - 4} * 8;
    if (1 + (entry + 1) * 4 > row.size()) {
        throw Error(ErrorCode::Unsupported, "The global usage map of '" + file.path() +
                                                "' cannot reach that far; nothing was changed.");
    }
    if (u32(row, 1 + entry * 4) != 0) return;
    const std::uint32_t mapPage = file.pageCount();
    if (file.appendPage() != mapPage) corrupt("a new page did not land at the end of the file");
    file::Page bits(fmt.pageSize, 0);
    bits[0] = kUsageMapPageType;
    bits[1] = 0x01;
    for (std::uint64_t i = 0; i < perMapPage; ++i) {
        if (entry * perMapPage + i > mapPage)
            bits[4 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    }
    file.writePage(mapPage, bits);
    put32(row, 1 + entry * 4, mapPage);
    replaceMapRow(file, fmt, kGlobalUsageMap, row);
    // A map page that lies in an earlier range than its own is marked used there.
    if (mapPage / perMapPage != entry) markPage(file, fmt, kGlobalUsageMap, mapPage, false);
}

}  // namespace

void growGlobalMap(file::PageFile& file, const format::Format& fmt, std::uint32_t page) {
    const std::vector<std::uint8_t> row = mapRow(file, fmt, kGlobalUsageMap);
    const std::uint64_t perMapPage = std::uint64_t{fmt.pageSize - 4} * 8;
    if (row.size() < 5) corrupt("the global usage map row is too short");
    if (row[0] == kReferenceMap) {
        addGlobalMapPage(file, fmt, page / perMapPage);
        return;
    }
    if (row[0] != kInlineMap) corrupt("the global usage map is of an unknown type");
    const std::uint32_t start = u32(row, 1);
    if (page < start) corrupt("the global usage map starts after a page in use");
    // Room for the page and some 4,000 more, as Access leaves room past the end of the file.
    const std::size_t bytes = ((page - start) / 8 + 1 + 511) / 512 * 512;
    const std::size_t old = row.size() - 5;
    if (bytes <= old) return;
    // Pages past the end of the file count as free.
    std::vector<std::uint8_t> grown = row;
    grown.resize(5 + bytes, 0);
    for (std::uint64_t p = start + old * 8; p < start + bytes * 8; ++p) {
        if (p < file.pageCount()) continue;
        const std::uint64_t bit = p - start;
        grown[5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
    }
    DataPageWriter holder(fmt, *file.page(kGlobalUsageMap.page));
    if (holder.replaceRow(kGlobalUsageMap.slot, grown, 0)) {
        file.writePage(kGlobalUsageMap.page, holder.page());
        return;
    }
    // No more room on its page: the map becomes a reference map, the same size, whose entries
    // name pages that hold the bits; the free pages it marked stay free.
    std::vector<std::uint32_t> freePages;
    const std::uint32_t fileEnd = file.pageCount();
    for (std::uint64_t bit = 0; bit < old * 8; ++bit) {
        const std::uint64_t p = start + bit;
        if (p < fileEnd && (row[5 + bit / 8] & (1u << (bit % 8)))) {
            freePages.push_back(static_cast<std::uint32_t>(p));
        }
    }
    std::vector<std::uint8_t> reference(row.size(), 0);
    reference[0] = kReferenceMap;
    replaceMapRow(file, fmt, kGlobalUsageMap, reference);
    const std::uint32_t reach = std::max(page, fileEnd);
    for (std::size_t entry = 0; entry <= reach / perMapPage; ++entry) {
        addGlobalMapPage(file, fmt, entry);
    }
    for (const std::uint32_t p : freePages) markPage(file, fmt, kGlobalUsageMap, p, true);
}

void makeRoom(file::PageFile& file, const format::Format& fmt, RowPointer where,
              std::uint32_t page) {
    std::vector<std::uint8_t> row = mapRow(file, fmt, where);
    if (row.size() < 5) corrupt("a usage map row is too short");
    if (row[0] == kInlineMap && moveWindow(file, fmt, where, row, page)) return;
    const std::uint64_t perMapPage = std::uint64_t{fmt.pageSize - 4} * 8;
    std::vector<std::uint32_t> marked;
    if (row[0] == kInlineMap) {
        // Too spread for a window: the map becomes a reference map, the same size, whose
        // entries name pages that hold the bits.
        marked = readUsageMap(file, fmt, where);
        std::fill(row.begin(), row.end(), 0);
        row[0] = kReferenceMap;
    } else if (row[0] != kReferenceMap) {
        corrupt("a usage map of unknown type");
    }
    const std::size_t entries = (row.size() - 1) / 4;
    auto mapPageFor = [&](std::uint32_t p) -> std::uint32_t {
        const std::size_t entry = p / perMapPage;
        if (entry >= entries) {
            throw Error(ErrorCode::Unsupported, "A usage map of '" + file.path() +
                                                    "' cannot reach page " + std::to_string(p) +
                                                    "; nothing was changed.");
        }
        std::uint32_t mapPage = u32(row, 1 + entry * 4);
        if (mapPage == 0) {
            mapPage = file.pageCount();
            if (!covers(file, fmt, kGlobalUsageMap, mapPage)) {
                growGlobalMap(file, fmt, mapPage);
                mapPage = file.pageCount();
            }
            if (file.appendPage() != mapPage) corrupt("a new page did not land at the end");
            file::Page fresh(fmt.pageSize, 0);
            fresh[0] = kUsageMapPageType;
            fresh[1] = 0x01;
            file.writePage(mapPage, fresh);
            markPage(file, fmt, kGlobalUsageMap, mapPage, false);
            put32(row, 1 + entry * 4, mapPage);
        }
        return mapPage;
    };
    for (const std::uint32_t p : marked) {
        const std::uint32_t mapPage = mapPageFor(p);
        file::Page bits = *file.page(mapPage);
        const std::uint64_t index = p % perMapPage;
        bits[4 + index / 8] |= static_cast<std::uint8_t>(1u << (index % 8));
        file.writePage(mapPage, bits);
    }
    mapPageFor(page);
    replaceMapRow(file, fmt, where, row);
}

void clearMap(file::PageFile& file, const format::Format& fmt, RowPointer where) {
    std::vector<std::uint8_t> row = mapRow(file, fmt, where);
    if (row.empty()) corrupt("a usage map row is empty");
    if (row[0] == kInlineMap) {
        if (row.size() < 5) corrupt("an inline usage map row is too short");
        std::fill(row.begin() + 5, row.end(), 0);
        replaceMapRow(file, fmt, where, row);
        return;
    }
    for (const std::uint32_t p : referenceMapPages(file, fmt, where)) {
        file::Page page = *file.page(p);
        std::fill(page.begin() + 4, page.end(), 0);
        file.writePage(p, page);
    }
}

void collectOwnedPages(const file::PageFile& file, const format::Format& fmt, RowPointer where,
                       std::set<std::uint32_t>& pages) {
    for (const auto p : readUsageMap(file, fmt, where)) pages.insert(p);
    for (const auto p : referenceMapPages(file, fmt, where)) pages.insert(p);
}

void releasePages(file::PageFile& file, const format::Format& fmt,
                  const std::set<std::uint32_t>& pages, Freed freed) {
    for (const std::uint32_t p : pages) {
        if (p < 2 || p >= file.pageCount()) {
            corrupt("a page to give back (" + std::to_string(p) + ") is not one a table owns");
        }
    }
    // Pages found in use earlier in this write are no longer: they may be taken again.
    std::vector<bool>& inUse = file.freePageSearch().inUse;
    for (const std::uint32_t p : pages) {
        if (freed == Freed::Zeroed) file.writePage(p, file::Page(fmt.pageSize, 0));
        markPage(file, fmt, kGlobalUsageMap, p, true);
        if (p < inUse.size()) inUse[p] = false;
    }
}

void zeroPagesStillFree(file::PageFile& file, const format::Format& fmt,
                        const std::set<std::uint32_t>& pages) {
    const std::vector<bool> free = freePageFlags(file, fmt);
    for (const std::uint32_t p : pages) {
        if (p < free.size() && free[p]) file.writePage(p, file::Page(fmt.pageSize, 0));
    }
}

}  // namespace jet::store
