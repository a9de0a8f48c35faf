#include "jet/store/table_definition.h"

#include <algorithm>

#include "jet/base/bytes.h"
#include "jet/store/data_page.h"
#include "jet/store/field_codec.h"
#include "jet/store/table_definition_pages.h"

namespace jet::store {
namespace {

// Access allows 255 columns and 32 indexes; anything far beyond is a damaged definition.
constexpr std::uint32_t kMaxColumns = 4096;
constexpr std::uint32_t kMaxIndexes = 1024;

constexpr std::uint8_t kAutoGuidFlag = 0x40;
constexpr std::uint8_t kHyperlinkFlag = 0x80;
constexpr std::uint8_t kCompressedExtFlag = 0x01;
constexpr std::uint8_t kCalculatedExtFlags = 0xC0;

}  // namespace

std::string decodeName(const format::Format& fmt, ByteSpan bytes, std::uint16_t codePage) {
    return fmt.jet3 ? decodeCodePageText(bytes, codePage) : decodeUnicodeText(bytes);
}

TableDef readTableDefinition(const file::PageFile& file, const format::Format& fmt,
                             std::uint32_t firstPage, const std::string& name,
                             std::uint16_t codePage) {
    try {
        const std::vector<std::uint8_t> buffer = definitionChainBytes(file, firstPage);
        const ByteSpan b(buffer);
        TableDef t;
        t.name = name;
        t.definitionPage = firstPage;
        t.rowCount = u32(b, fmt.tdefRowCount);
        t.nextAutoNumber = u32(b, fmt.tdefAutoNumber);
        t.tableType = u8(b, fmt.tdefTableType);
        t.maxColumns = u16(b, fmt.tdefMaxColumns);
        t.varColumnCount = u16(b, fmt.tdefVarColumns);
        const std::uint16_t columnCount = u16(b, fmt.tdefColumns);
        const std::uint32_t logicalIndexes = u32(b, fmt.tdefLogicalIndexes);
        const std::uint32_t realIndexes = u32(b, fmt.tdefRealIndexes);
        t.usedPagesRow = u32(b, fmt.tdefUsedPages);
        t.freePagesRow = u32(b, fmt.tdefFreePages);
        if (columnCount > kMaxColumns || logicalIndexes > kMaxIndexes ||
            realIndexes > kMaxIndexes) {
            corrupt("its definition claims " + std::to_string(columnCount) + " columns and " +
                    std::to_string(logicalIndexes) + " indexes");
        }

        std::size_t pos = fmt.tdefBlockEnd + std::size_t{realIndexes} * fmt.realIndexEntrySize;
        need(b, pos, std::size_t{columnCount} * fmt.columnEntrySize, "a column definition");
        t.columns.resize(columnCount);
        for (auto& c : t.columns) {
            const ByteSpan e = b.subspan(pos, fmt.columnEntrySize);
            const std::uint8_t type = e[fmt.colType];
            c.type = static_cast<ColumnType>(type);
            c.number = u16(e, fmt.colNumber);
            c.varIndex = u16(e, fmt.colVarIndex);
            c.precision = e[fmt.colPrecision];
            c.scale = e[fmt.colScale];
            if (fmt.colCodePage) c.codePage = u16(e, fmt.colCodePage);
            const bool text = c.type == ColumnType::Text || c.type == ColumnType::Memo;
            if (fmt.colSortOrder && text) c.sortOrder = u16(e, fmt.colSortOrder);
            if (fmt.colSortOrderVersion && text) c.sortOrderVersion = e[fmt.colSortOrderVersion];
            c.jet3 = fmt.jet3;
            c.flags = e[fmt.colFlags];
            if (fmt.colExtraFlags) c.extraFlags = e[fmt.colExtraFlags];
            c.fixedOffset = u16(e, fmt.colFixedOffset);
            c.size = u16(e, fmt.colLength);
            c.fixedLength = c.flags & kColumnFixed;
            c.nullable = c.flags & kColumnNullable;
            c.autoNumber = c.flags & kColumnAutoLong;
            // The flag makes an AutoNumber of a GUID field only; on others it means nothing here.
            c.autoGuid = (c.flags & kAutoGuidFlag) && c.type == ColumnType::GUID;
            c.hyperlink =
                (c.flags & kHyperlinkFlag) && type == static_cast<std::uint8_t>(ColumnType::Memo);
            c.compressedText = c.extraFlags & kCompressedExtFlag;
            c.calculated = c.extraFlags & kCalculatedExtFlags;
            if (type == static_cast<std::uint8_t>(ColumnType::Complex) && fmt.colComplexId) {
                c.complexTypeId = u32(e, fmt.colComplexId);
            }
            pos += fmt.columnEntrySize;
        }
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            const std::size_t len = fmt.nameLengthSize == 1 ? u8(b, pos) : u16(b, pos);
            pos += fmt.nameLengthSize;
            t.columns[i].name = decodeName(fmt, slice(b, pos, len, "a column name"), codePage);
            pos += len;
        }

        // Real indexes: the index data, with up to ten columns each.
        struct RealIndex {
            std::vector<IndexColumn> columns;
            std::uint32_t firstPage = 0;
            std::uint32_t usedPagesRow = 0;
            std::uint8_t flags = 0;
        };
        std::vector<RealIndex> real(realIndexes);
        const std::size_t skipBefore = fmt.jet3 ? 0 : 4;
        need(b, pos, std::size_t{realIndexes} * fmt.realIndexDefSize, "an index definition");
        for (auto& r : real) {
            std::size_t p = pos + skipBefore;
            for (int i = 0; i < 10; ++i, p += 3) {
                const std::uint16_t col = u16(b, p);
                if (col == 0xFFFF) continue;
                r.columns.push_back(
                    IndexColumn{col, b[p + 2] != 0x00});  // 1 ascending, 0 descending
            }
            r.usedPagesRow = u32(b, p);  // the map of the index's own pages
            p += 4;
            r.firstPage = u32(b, p);
            p += 4 + (fmt.jet3 ? 0 : 4);
            r.flags = b[p];
            pos += fmt.realIndexDefSize;
        }
        need(b, pos, std::size_t{logicalIndexes} * fmt.logicalIndexDefSize, "an index definition");
        t.indexes.resize(logicalIndexes);
        for (auto& ix : t.indexes) {
            std::size_t p = pos + skipBefore;
            ix.number = u32(b, p);
            ix.dataNumber = u32(b, p + 4);
            ix.kind = b[p + 8 + 1 + 4 + 4 + 1 + 1];
            if (ix.dataNumber >= real.size()) corrupt("an index refers to missing index data");
            const RealIndex& r = real[ix.dataNumber];
            ix.columns = r.columns;
            ix.firstPage = r.firstPage;
            ix.usedPagesRow = r.usedPagesRow;
            ix.flags = r.flags;
            ix.unique = r.flags & 0x01;
            ix.ignoreNulls = r.flags & 0x02;
            ix.required = r.flags & 0x08;
            pos += fmt.logicalIndexDefSize;
        }
        for (auto& ix : t.indexes) {
            const std::size_t len = fmt.nameLengthSize == 1 ? u8(b, pos) : u16(b, pos);
            pos += fmt.nameLengthSize;
            ix.name = decodeName(fmt, slice(b, pos, len, "an index name"), codePage);
            pos += len;
        }
        // Then, for long-value columns, the usage maps of their pages, ended by 0xFFFF.
        while (pos + 2 <= b.size()) {
            const std::uint16_t number = u16(b, pos);
            if (number == 0xFFFF || pos + 10 > b.size()) break;
            for (auto& c : t.columns) {
                if (c.number == number) {
                    c.longValuePagesRow = u32(b, pos + 2);
                    c.longValueFreePagesRow = u32(b, pos + 6);
                }
            }
            pos += 10;
        }

        std::stable_sort(
            t.columns.begin(), t.columns.end(),
            [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            t.columns[i].order = static_cast<std::uint16_t>(i);
        }
        return t;
    } catch (const Error& e) {
        if (e.code() != ErrorCode::Corrupt) throw;
        throw Error(ErrorCode::Corrupt, "The definition of table '" + name + "' in '" +
                                            file.path() + "' is damaged: " + e.what() + ".")
            .about(file.path(), name);
    }
}

void requireKnownColumnTypes(const TableDef& table, const std::string& path, const char* change) {
    for (const auto& c : table.columns) {
        const auto code = static_cast<std::uint8_t>(c.type);
        if (isKnownColumnType(code)) continue;
        throw Error(ErrorCode::Unsupported,
                    std::string("Cannot ") + change + " table '" + table.name + "' of '" + path +
                        "': its field '" + c.name +
                        "' is of a type this engine does not know (code " + std::to_string(code) +
                        "), which it reads but cannot write; nothing was changed.")
            .about(path, table.name, c.name);
    }
}

}  // namespace jet::store
