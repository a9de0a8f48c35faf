#include "jet/index/index_page_writer.h"

#include <algorithm>
#include <array>
#include <string>

#include "jet/base/error.h"

namespace jet::index {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kMaxDataPage = 0xffffff;  // three bytes in an entry
// Jet 4 marks intermediate pages with a 1 in the byte after the prefix length; leaves hold 0.

void putBigEndian(Bytes& out, std::uint32_t v, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void putLittleEndian(Bytes& page, std::size_t off, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i) page[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The entry as a page stores it, in `out` (whose room is kept from one entry to the next).
void storedForm(const IndexEntry& e, bool leaf, Bytes& out) {
    if (e.dataPage > kMaxDataPage) {
        throw Error(ErrorCode::Unsupported,
                    "an index entry cannot name data page " + std::to_string(e.dataPage) +
                        ": its row pointer holds three bytes of page number");
    }
    out.assign(e.key.begin(), e.key.end());
    putBigEndian(out, e.dataPage, 3);
    out.push_back(e.dataRow);
    if (!leaf) putBigEndian(out, e.childPage, 4);
}

std::size_t storedSize(const IndexEntry& e, bool leaf) { return e.key.size() + 4 + (leaf ? 0 : 4); }

// What follows the key in the stored form: the row pointer, then the child page.
std::array<std::uint8_t, 8> pointerBytes(const IndexEntry& e) {
    return {
        static_cast<std::uint8_t>(e.dataPage >> 16),  static_cast<std::uint8_t>(e.dataPage >> 8),
        static_cast<std::uint8_t>(e.dataPage),        e.dataRow,
        static_cast<std::uint8_t>(e.childPage >> 24), static_cast<std::uint8_t>(e.childPage >> 16),
        static_cast<std::uint8_t>(e.childPage >> 8),  static_cast<std::uint8_t>(e.childPage)};
}

}  // namespace

std::size_t sharedPrefixLength(std::span<const IndexEntry> entries, bool leaf) {
    if (entries.empty()) return 0;
    // Byte by byte over the stored forms of the first and the last entry, without building them.
    const IndexEntry& a = entries.front();
    const IndexEntry& b = entries.back();
    const auto [keyEnd, unused] =
        std::mismatch(a.key.begin(), a.key.end(), b.key.begin(), b.key.end());
    std::size_t same = static_cast<std::size_t>(keyEnd - a.key.begin());
    const std::array<std::uint8_t, 8> tailA = pointerBytes(a);
    const std::array<std::uint8_t, 8> tailB = pointerBytes(b);
    const auto byteOf = [](const IndexEntry& e, const std::array<std::uint8_t, 8>& tail,
                           std::size_t i) {
        return i < e.key.size() ? e.key[i] : tail[i - e.key.size()];
    };
    const std::size_t shorter = std::min(storedSize(a, leaf), storedSize(b, leaf));
    while (same < shorter && byteOf(a, tailA, same) == byteOf(b, tailB, same)) ++same;
    return same;
}

std::size_t accessPrefixLength(const format::Format& fmt, std::span<const IndexEntry> entries,
                               bool leaf) {
    if (storedEntriesSize(entries, leaf, 0) <= entryAreaCapacity(fmt)) return 0;
    return declarablePrefixLength(fmt, entries, leaf);
}

std::size_t declarablePrefixLength(const format::Format& fmt, std::span<const IndexEntry> entries,
                                   bool leaf) {
    // Jet 3 records the prefix length in one byte.
    const std::size_t most = (std::size_t{1} << (8 * indexPageLayout(fmt).prefixLengthSize)) - 1;
    return std::min(sharedPrefixLength(entries, leaf), most);
}

std::size_t storedEntrySize(const IndexEntry& entry, bool leaf) { return storedSize(entry, leaf); }

std::size_t storedEntriesSize(std::span<const IndexEntry> entries, bool leaf, std::size_t prefix) {
    if (entries.empty()) return 0;
    std::size_t total = prefix;
    for (const auto& e : entries) total += storedSize(e, leaf) - prefix;
    return total;
}

std::size_t entryAreaCapacity(const format::Format& fmt) {
    const IndexPageLayout& at = indexPageLayout(fmt);
    // Bit n of the mask marks an entry ending n bytes in, so the mask reaches one byte short of
    // its bit count.
    return std::min<std::size_t>(fmt.pageSize - at.entriesStart, at.entryMaskSize * 8 - 1);
}

bool entriesFit(const format::Format& fmt, std::span<const IndexEntry> entries, bool leaf) {
    return storedEntriesSize(entries, leaf, declarablePrefixLength(fmt, entries, leaf)) <=
           entryAreaCapacity(fmt);
}

std::vector<std::uint8_t> writeIndexPage(const format::Format& fmt, const IndexPage& page,
                                         std::optional<std::size_t> prefix) {
    const IndexPageLayout& at = indexPageLayout(fmt);
    const std::size_t shared = declarablePrefixLength(fmt, page.entries, page.leaf);
    const std::size_t declared =
        prefix ? *prefix : accessPrefixLength(fmt, page.entries, page.leaf);
    if (declared > shared) {
        throw Error(ErrorCode::Unsupported,
                    "an index page cannot declare a shared prefix of " + std::to_string(declared) +
                        " bytes: its entries share " + std::to_string(shared));
    }
    const std::size_t size = storedEntriesSize(page.entries, page.leaf, declared);
    if (size > entryAreaCapacity(fmt)) {
        throw Error(ErrorCode::Unsupported, "index entries of " + std::to_string(size) +
                                                " bytes do not fit on one index page");
    }

    Bytes out(fmt.pageSize, 0);
    out[0] = page.leaf ? kLeafPageType : kIntermediatePageType;
    out[1] = 0x01;
    putLittleEndian(out, at.owner, page.owner, 4);
    putLittleEndian(out, at.prevPage, page.prevPage, 4);
    putLittleEndian(out, at.nextPage, page.nextPage, 4);
    putLittleEndian(out, at.tailPage, page.tailPage, 4);
    putLittleEndian(out, at.prefixLength, static_cast<std::uint32_t>(declared),
                    at.prefixLengthSize);
    if (!page.leaf) out[at.intermediateFlag] = 0x01;

    std::size_t end = 0;
    Bytes full;
    for (std::size_t i = 0; i < page.entries.size(); ++i) {
        storedForm(page.entries[i], page.leaf, full);
        const std::size_t skip = i == 0 ? 0 : declared;
        std::copy(full.begin() + static_cast<std::ptrdiff_t>(skip), full.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(at.entriesStart + end));
        end += full.size() - skip;
        out[at.entryMask + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8));
    }
    putLittleEndian(out, at.freeSpace,
                    static_cast<std::uint32_t>(fmt.pageSize - at.entriesStart - end), 2);
    return out;
}

}  // namespace jet::index
