#include "jet/check/table_layout.h"

#include <set>
#include <string>

#include "jet/base/bytes.h"
#include "jet/store/data_page.h"

namespace jet::check {
namespace {

constexpr std::size_t kMaxDefinitionPages = 512;
constexpr std::uint32_t kMaxColumns = 4096;
constexpr std::uint32_t kMaxIndexes = 1024;
constexpr std::uint16_t kNoColumn = 0xFFFF;
constexpr std::size_t kIndexColumnSlots = 10;
constexpr std::uint8_t kAscendingColumn = 0x01;
constexpr std::uint8_t kFixedColumn = 0x01;
// Continuation pages of a definition repeat an 8-byte page header before their part.
constexpr std::size_t kContinuationHeader = 8;

}  // namespace

TableLayout readTableLayout(const file::PageFile& file, const format::Format& fmt,
                            std::uint32_t firstPage) {
    TableLayout t;
    std::vector<std::uint8_t> buffer;
    std::set<std::uint32_t> seen;
    for (std::uint32_t pageNo = firstPage; pageNo != 0;) {
        if (!seen.insert(pageNo).second || seen.size() > kMaxDefinitionPages) {
            corrupt("its definition pages form a loop at page " + std::to_string(pageNo));
        }
        if (pageNo >= file.pageCount()) {
            corrupt("its definition continues on page " + std::to_string(pageNo) +
                    ", beyond the end of the file");
        }
        const auto page = file.page(pageNo);
        if ((*page)[0] != store::kTdefPageType) {
            corrupt("its definition continues on page " + std::to_string(pageNo) +
                    ", which is not a definition page (type " + std::to_string((*page)[0]) + ")");
        }
        t.definitionPages.push_back(pageNo);
        const std::size_t skip = buffer.empty() ? 0 : kContinuationHeader;
        buffer.insert(buffer.end(), page->begin() + static_cast<std::ptrdiff_t>(skip), page->end());
        pageNo = u32(*page, 4);
    }
    const ByteSpan b(buffer);
    t.rowCount = u32(b, fmt.tdefRowCount);
    t.maxColumns = u16(b, fmt.tdefMaxColumns);
    t.varColumnCount = u16(b, fmt.tdefVarColumns);
    const std::uint16_t columnCount = u16(b, fmt.tdefColumns);
    const std::uint32_t logicalIndexes = u32(b, fmt.tdefLogicalIndexes);
    const std::uint32_t realIndexes = u32(b, fmt.tdefRealIndexes);
    t.usedPagesRow = u32(b, fmt.tdefUsedPages);
    t.freePagesRow = u32(b, fmt.tdefFreePages);
    if (columnCount > kMaxColumns || logicalIndexes > kMaxIndexes || realIndexes > kMaxIndexes) {
        corrupt("its definition claims " + std::to_string(columnCount) + " columns and " +
                std::to_string(realIndexes) + " indexes");
    }

    std::size_t pos = fmt.tdefBlockEnd + std::size_t{realIndexes} * fmt.realIndexEntrySize;
    need(b, pos, std::size_t{columnCount} * fmt.columnEntrySize, "a column definition");
    for (std::uint16_t i = 0; i < columnCount; ++i, pos += fmt.columnEntrySize) {
        ColumnLayout c;
        c.type = b[pos + fmt.colType];
        c.number = u16(b, pos + fmt.colNumber);
        c.varIndex = u16(b, pos + fmt.colVarIndex);
        c.fixedLength = b[pos + fmt.colFlags] & kFixedColumn;
        t.columns.push_back(c);
    }
    for (std::uint16_t i = 0; i < columnCount; ++i) {
        pos += (fmt.nameLengthSize == 1 ? u8(b, pos) : u16(b, pos)) + fmt.nameLengthSize;
    }

    // Each index data entry: (Jet 4) 4 unknown bytes, ten (column, order) slots, its usage map,
    // its root page, (Jet 4) 4 unknown bytes, its flags.
    const std::size_t skipBefore = fmt.jet3 ? 0 : 4;
    need(b, pos, std::size_t{realIndexes} * fmt.realIndexDefSize, "an index definition");
    for (std::uint32_t i = 0; i < realIndexes; ++i, pos += fmt.realIndexDefSize) {
        IndexLayout ix;
        ix.number = i;
        std::size_t p = pos + skipBefore;
        for (std::size_t slot = 0; slot < kIndexColumnSlots; ++slot, p += 3) {
            const std::uint16_t column = u16(b, p);
            if (column == kNoColumn) continue;
            ix.columns.push_back(IndexColumn{column, (b[p + 2] & kAscendingColumn) != 0});
        }
        ix.usedPagesRow = u32(b, p);
        ix.rootPage = u32(b, p + 4);
        ix.flags = b[p + 8 + skipBefore];
        t.indexes.push_back(std::move(ix));
    }
    pos += std::size_t{logicalIndexes} * fmt.logicalIndexDefSize;
    for (std::uint32_t i = 0; i < logicalIndexes; ++i) {
        pos += (fmt.nameLengthSize == 1 ? u8(b, pos) : u16(b, pos)) + fmt.nameLengthSize;
    }

    // Then, in later versions, (column number, used pages, free pages) per long-value column,
    // ended by a column number of 0xFFFF.
    while (pos + 2 <= b.size()) {
        const std::uint16_t column = u16(b, pos);
        if (column == kNoColumn) break;
        LongValueMaps maps;
        maps.columnNumber = column;
        maps.usedPagesRow = u32(b, pos + 2, "a long-value column's usage map");
        maps.freePagesRow = u32(b, pos + 6, "a long-value column's usage map");
        t.longValueMaps.push_back(maps);
        pos += 10;
    }
    return t;
}

}  // namespace jet::check
