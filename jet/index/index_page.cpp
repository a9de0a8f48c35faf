#include "jet/index/index_page.h"

#include <algorithm>
#include <string>

namespace jet::index {
namespace {

constexpr IndexPageLayout kJet3Layout{
    .freeSpace = 2,
    .owner = 4,
    .prevPage = 8,
    .nextPage = 12,
    .tailPage = 16,
    .prefixLength = 20,
    .prefixLengthSize = 1,
    .intermediateFlag = 21,
    .entryMask = 22,
    .entryMaskSize = 226,
    .entriesStart = 248,
};

constexpr IndexPageLayout kJet4Layout{
    .freeSpace = 2,
    .owner = 4,
    .prevPage = 12,
    .nextPage = 16,
    .tailPage = 20,
    .prefixLength = 24,
    .prefixLengthSize = 2,
    .intermediateFlag = 26,
    .entryMask = 27,
    .entryMaskSize = 453,
    .entriesStart = 480,
};

constexpr std::size_t kRowPointerSize = 4;
constexpr std::size_t kChildPointerSize = 4;

std::uint32_t bigEndian(ByteSpan b, std::size_t off, std::size_t len) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < len; ++i) v = (v << 8) | b[off + i];
    return v;
}

IndexEntry splitEntry(ByteSpan full, bool leaf, std::size_t offset) {
    // Every key column stores at least its flag byte.
    const std::size_t trailer = kRowPointerSize + (leaf ? 0 : kChildPointerSize);
    if (full.size() <= trailer) {
        corrupt("the index entry at offset " + std::to_string(offset) + " has " +
                std::to_string(full.size()) + " bytes, too few for a key and its row " + "pointer");
    }
    const std::size_t keyLength = full.size() - trailer;
    IndexEntry e;
    e.key.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keyLength));
    e.dataPage = bigEndian(full, keyLength, 3);
    e.dataRow = full[keyLength + 3];
    if (!leaf) e.childPage = bigEndian(full, keyLength + kRowPointerSize, 4);
    return e;
}

}  // namespace

const IndexPageLayout& indexPageLayout(const format::Format& fmt) {
    return fmt.jet3 ? kJet3Layout : kJet4Layout;
}

IndexPage readIndexPage(const format::Format& fmt, ByteSpan page) {
    const IndexPageLayout& at = indexPageLayout(fmt);
    if (page.size() < at.entriesStart) corrupt("an index page shorter than its header");
    const std::uint8_t type = page[0];
    if (type != kIntermediatePageType && type != kLeafPageType) {
        corrupt("page type " + std::to_string(type) + " where an index page belongs");
    }
    IndexPage p;
    p.leaf = type == kLeafPageType;
    p.freeSpace = u16(page, at.freeSpace);
    p.owner = u32(page, at.owner);
    p.prevPage = u32(page, at.prevPage);
    p.nextPage = u32(page, at.nextPage);
    p.tailPage = u32(page, at.tailPage);
    p.prefixLength = at.prefixLengthSize == 1 ? page[at.prefixLength] : u16(page, at.prefixLength);

    // Bit i of the mask set: an entry ends i bytes into the entry area.
    std::vector<std::uint8_t> prefix;
    std::vector<std::uint8_t> full;
    std::size_t start = 0;
    for (std::size_t byte = 0; byte < at.entryMaskSize; ++byte) {
        const std::uint8_t bits = page[at.entryMask + byte];
        if (bits == 0) continue;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (!(bits & (1u << bit))) continue;
            const std::size_t end = byte * 8 + bit;
            if (at.entriesStart + end > page.size() || end <= start) {
                corrupt("the entry mask of an index page marks an entry ending at " +
                        std::to_string(end) + ", outside the page or before its start");
            }
            const ByteSpan stored = page.subspan(at.entriesStart + start, end - start);
            full.assign(prefix.begin(), prefix.end());
            full.insert(full.end(), stored.begin(), stored.end());
            p.entries.push_back(splitEntry(full, p.leaf, at.entriesStart + start));
            if (p.entries.size() == 1) {
                if (p.prefixLength > full.size()) {
                    corrupt("an index page's shared prefix (" + std::to_string(p.prefixLength) +
                            " bytes) is longer than its first entry");
                }
                prefix.assign(full.begin(),
                              full.begin() + static_cast<std::ptrdiff_t>(p.prefixLength));
            }
            start = end;
        }
    }
    p.entriesEnd = at.entriesStart + start;
    return p;
}

int compareEntries(const IndexEntry& a, const IndexEntry& b) {
    const auto byKey = std::lexicographical_compare_three_way(a.key.begin(), a.key.end(),
                                                              b.key.begin(), b.key.end());
    if (byKey != 0) return byKey < 0 ? -1 : 1;
    if (a.dataPage != b.dataPage) return a.dataPage < b.dataPage ? -1 : 1;
    if (a.dataRow != b.dataRow) return a.dataRow < b.dataRow ? -1 : 1;
    return 0;
}

}  // namespace jet::index
