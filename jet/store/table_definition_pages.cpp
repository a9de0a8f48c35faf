#include "jet/store/table_definition_pages.h"

#include <algorithm>
#include <set>
#include <string>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/store/data_page.h"
#include "jet/store/usage_map_writer.h"

namespace jet::store {
namespace {

// Far more than 255 columns and 32 indexes with the longest names take.
constexpr std::size_t kMaxDefinitionPages = 512;
constexpr std::size_t kHeader = 8;  // repeated on every page of the chain
constexpr std::size_t kFreeSpace = 2;
constexpr std::size_t kNextPage = 4;
constexpr std::size_t kLength = 8;
constexpr std::uint8_t kHeaderMark = 0x01;  // the byte after the page type, always 1

std::size_t pagesFor(std::size_t length, std::size_t pageSize) {
    if (length <= pageSize) return 1;
    const std::size_t part = pageSize - kHeader;
    return 1 + (length - pageSize + part - 1) / part;
}

bool allZero(const file::Page& page) {
    return std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

std::vector<std::uint32_t> definitionPages(const file::PageFile& file, std::uint32_t firstPage) {
    std::vector<std::uint32_t> pages;
    std::set<std::uint32_t> seen;
    for (std::uint32_t pageNo = firstPage; pageNo != 0;) {
        if (!seen.insert(pageNo).second || seen.size() > kMaxDefinitionPages) {
            corrupt("its definition pages form a loop");
        }
        if (pageNo >= file.pageCount()) {
            corrupt("its definition continues on page " + std::to_string(pageNo) +
                    ", beyond the end of the file");
        }
        const auto page = file.page(pageNo);
        if ((*page)[0] != kTdefPageType) {
            corrupt("page " + std::to_string(pageNo) + " is not a table definition page");
        }
        pages.push_back(pageNo);
        pageNo = u32(*page, kNextPage);
    }
    return pages;
}

std::vector<std::uint8_t> definitionChainBytes(const file::PageFile& file,
                                               std::uint32_t firstPage) {
    std::vector<std::uint8_t> bytes;
    for (const std::uint32_t pageNo : definitionPages(file, firstPage)) {
        const auto page = file.page(pageNo);
        const auto from = page->begin() + static_cast<std::ptrdiff_t>(bytes.empty() ? 0 : kHeader);
        bytes.insert(bytes.end(), from, page->end());
    }
    return bytes;
}

std::vector<std::uint8_t> readDefinition(const file::PageFile& file, const format::Format& fmt,
                                         std::uint32_t firstPage) {
    std::vector<std::uint8_t> bytes = definitionChainBytes(file, firstPage);
    const std::uint32_t length = u32(bytes, kLength);
    if (length < fmt.tdefBlockEnd || length > bytes.size()) {
        corrupt("its definition records a length of " + std::to_string(length) + " bytes, its " +
                "pages hold " + std::to_string(bytes.size()));
    }
    bytes.resize(length);
    return bytes;
}

void writeDefinition(file::PageFile& file, const format::Format& fmt, std::uint32_t firstPage,
                     std::span<const std::uint8_t> definition) {
    if (definition.size() < fmt.tdefBlockEnd) {
        corrupt("a table definition of " + std::to_string(definition.size()) +
                " bytes is shorter than its fixed header");
    }
    const std::size_t pageSize = fmt.pageSize;
    const std::size_t needed = pagesFor(definition.size(), pageSize);
    if (needed > kMaxDefinitionPages) {
        throw Error(ErrorCode::Unsupported, "A table definition of " +
                                                std::to_string(definition.size()) +
                                                " bytes is longer than Access allows.");
    }
    std::vector<std::uint32_t> pages;
    if (firstPage < file.pageCount() && allZero(*file.page(firstPage))) {
        pages.push_back(firstPage);
    } else {
        pages = definitionPages(file, firstPage);
    }
    while (pages.size() < needed) pages.push_back(appendPage(file, fmt, {}));

    std::size_t at = 0;  // the next byte of the definition to place
    for (std::size_t i = 0; i < needed; ++i) {
        file::Page page(pageSize, 0);
        const std::size_t from = i == 0 ? 0 : kHeader;
        const std::size_t take = std::min(pageSize - from, definition.size() - at);
        std::copy_n(definition.begin() + static_cast<std::ptrdiff_t>(at), take,
                    page.begin() + static_cast<std::ptrdiff_t>(from));
        at += take;
        page[0] = kTdefPageType;
        page[1] = kHeaderMark;
        const std::size_t used = from + take;
        if (fmt.jet3) {
            // Jet 3 marks every page of the chain "VC" where Jet 4 keeps the free space.
            page[kFreeSpace] = 'V';
            page[kFreeSpace + 1] = 'C';
        } else {
            put16(page, kFreeSpace,
                  static_cast<std::uint16_t>(std::max(pageSize - used, kHeader) - kHeader));
        }
        put32(page, kNextPage, i + 1 < needed ? pages[i + 1] : 0);
        if (i == 0) put32(page, kLength, static_cast<std::uint32_t>(definition.size()));
        file.writePage(pages[i], std::move(page));
    }
    for (std::size_t i = needed; i < pages.size(); ++i) {
        markPage(file, fmt, kGlobalUsageMap, pages[i], true);  // its set bits are the free pages
        file.writePage(pages[i], file::Page(pageSize, 0));
    }
}

std::size_t definitionNameSize(const format::Format& fmt, std::span<const std::uint8_t> definition,
                               std::size_t at) {
    if (fmt.nameLengthSize == 1) return 1u + u8(definition, at, "a name in a definition");
    return 2u + u16(definition, at, "a name in a definition");
}

DefinitionLayout layoutOf(const format::Format& fmt, std::span<const std::uint8_t> definition) {
    const ByteSpan b(definition);
    const auto skipNames = [&](std::size_t pos, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) pos += definitionNameSize(fmt, b, pos);
        return pos;
    };
    DefinitionLayout l;
    l.realCount = u32(b, fmt.tdefRealIndexes);
    l.logicalCount = u32(b, fmt.tdefLogicalIndexes);
    l.columnCount = u16(b, fmt.tdefColumns);
    l.rowCounts = fmt.tdefBlockEnd;
    l.columns = l.rowCounts + std::size_t{l.realCount} * fmt.realIndexEntrySize;
    l.columnNames = l.columns + std::size_t{l.columnCount} * fmt.columnEntrySize;
    l.realEntries = skipNames(l.columnNames, l.columnCount);
    l.logicalEntries = l.realEntries + std::size_t{l.realCount} * fmt.realIndexDefSize;
    l.logicalNames = l.logicalEntries + std::size_t{l.logicalCount} * fmt.logicalIndexDefSize;
    l.trailer = skipNames(l.logicalNames, l.logicalCount);
    std::size_t pos = l.trailer;
    while (pos + 2 <= b.size() && u16(b, pos) != 0xFFFF) pos += 10;
    l.end = pos + 2;  // past the bytes when no 0xFFFF closes them
    return l;
}

}  // namespace jet::store
