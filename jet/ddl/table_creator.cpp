#include "jet/ddl/table_creator.h"

#include <algorithm>
#include <array>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/base/text_codec.h"
#include "jet/base/utf8.h"
#include "jet/index/index_page_writer.h"
#include "jet/store/data_page_writer.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_definition_pages.h"
#include "jet/store/usage_map_writer.h"

namespace jet::ddl {

using namespace store;
namespace {

// Constants Access writes into every definition it makes.
constexpr std::uint32_t kTableMagic = 0x0659;
constexpr std::uint32_t kIndexMagic = 0x0783;
constexpr std::uint8_t kUserTable = 0x4E;
// Real index flags: Access sets 0x80 on every index.
constexpr std::uint8_t kIndexAlways = 0x80;
constexpr std::uint8_t kIndexUnique = 0x01;
constexpr std::uint8_t kIndexIgnoreNulls = 0x02;
constexpr std::uint8_t kIndexRequired = 0x08;
constexpr std::uint8_t kPrimaryKeyIndex = 0x01;  // logical index type
constexpr std::size_t kIndexColumnSlots = 10;
// Every database's catalog (MSysObjects) is defined on page 2.
constexpr std::uint32_t kCatalogDefinitionPage = 2;
// Where the six model bytes lie in a Jet 3 column entry.
constexpr std::size_t kJet3ColumnModelAt = 7;
// A usage map row: its type, its first page and 64 bytes of bits (512 pages).
constexpr std::size_t kMapRowSize = 5 + 64;

// A name in a definition: its length in bytes, then UTF-16LE.
std::vector<std::uint8_t> nameBytes(const std::string& name) {
    std::vector<std::uint8_t> out(2);
    appendUtf16(out, name);
    put16(out, 0, static_cast<std::uint16_t>(out.size() - 2));
    return out;
}

struct Writer {
    std::vector<std::uint8_t> bytes;
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u24(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u8(static_cast<std::uint8_t>(v >> 16));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    void append(const std::vector<std::uint8_t>& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
};

std::size_t longValueColumnCount(const NewTable& table) {
    return static_cast<std::size_t>(std::count_if(table.columns.begin(), table.columns.end(),
                                                  [](auto& c) { return isLongValueType(c.type); }));
}

}  // namespace

std::vector<std::uint8_t> realIndexEntry(const format::Format& fmt, const NewIndex& ix,
                                         RowPointer map, std::uint32_t root);
std::vector<std::uint8_t> logicalIndexEntry(const format::Format& fmt, const NewIndex& ix,
                                            std::uint32_t number, std::uint32_t realIndex);
std::vector<std::uint8_t> indexMapRow(std::uint32_t root);

namespace {

// Where each of the table's pages goes: the definition, the usage map page after it, then the
// index roots.
struct Pages {
    std::uint32_t definition = 0;
    std::uint32_t maps = 0;
    std::vector<std::uint32_t> roots;
};

// The usage maps' rows on the map page: 0 the table's pages, 1 its pages with free space, then
// one per index, then two per long-value column.
std::vector<std::uint8_t> mapPage(const format::Format& fmt, const NewTable& table,
                                  const Pages& pages) {
    const std::size_t rows = 2 + table.indexes.size() + 2 * longValueColumnCount(table);
    std::vector<std::uint8_t> page(fmt.pageSize, 0);
    page[0] = 0x01;  // a data page
    page[1] = 0x01;
    const std::size_t slots = fmt.dataRowCountOffset + 2;
    std::size_t end = fmt.pageSize;
    for (std::size_t r = 0; r < rows; ++r) {
        end -= kMapRowSize;
        put16(page, slots + 2 * r, static_cast<std::uint16_t>(end));
        // Inline maps; an index's map holds its root page from the start.
        if (r >= 2 && r < 2 + table.indexes.size()) {
            const auto row = indexMapRow(pages.roots[r - 2]);
            std::copy(row.begin(), row.end(), page.begin() + static_cast<std::ptrdiff_t>(end));
        }
    }
    put16(page, fmt.dataRowCountOffset, static_cast<std::uint16_t>(rows));
    put16(page, 2, static_cast<std::uint16_t>(end - slots - 2 * rows));
    return page;
}

// Jet 3 columns carry six bytes Access gives every column of a database alike (among them the
// sort order and the code page); those of the catalog's first column serve as the model.
std::array<std::uint8_t, 6> jet3ColumnModel(const file::PageFile& file, const format::Format& fmt) {
    const std::vector<std::uint8_t> catalog = readDefinition(file, fmt, kCatalogDefinitionPage);
    const DefinitionLayout l = layoutOf(fmt, catalog);
    if (l.columnCount == 0) corrupt("the catalog's definition has no columns");
    std::array<std::uint8_t, 6> model{};
    std::copy_n(catalog.begin() + static_cast<std::ptrdiff_t>(l.columns + kJet3ColumnModelAt), 6,
                model.begin());
    return model;
}

std::vector<std::uint8_t> definition(const format::Format& fmt, const NewTable& table,
                                     const Pages& pages, const Collation& collation,
                                     const std::array<std::uint8_t, 6>& jet3Model,
                                     std::uint16_t codePage) {
    const auto columnCount = static_cast<std::uint16_t>(table.columns.size());
    const auto indexCount = static_cast<std::uint32_t>(table.indexes.size());
    std::uint16_t variableCount = 0;
    for (const auto& c : table.columns) variableCount += isVariableType(c.type) ? 1 : 0;

    Writer w;
    w.u8(0x02);  // a table definition page
    w.u8(0x01);
    w.u16(0);  // free space (Jet 3: "VC"), set by writeDefinition
    w.u32(0);  // no next page
    w.u32(0);  // length, set below
    if (!fmt.jet3) w.u32(kTableMagic);
    w.u32(0);  // rows
    w.u32(0);  // last AutoNumber
    if (!fmt.jet3) {
        w.u8(1);  // Access sets this on every table with AutoNumbers working
        w.zeros(15);
    }
    w.u8(kUserTable);
    w.u16(columnCount);  // the next column number
    w.u16(variableCount);
    w.u16(columnCount);
    w.u32(indexCount);  // logical indexes
    w.u32(indexCount);  // real indexes: one each
    w.u8(0);
    w.u24(pages.maps);  // the table's pages: map row 0
    w.u8(1);
    w.u24(pages.maps);  // its pages with free space: map row 1
    if (w.bytes.size() != fmt.tdefBlockEnd) throw Error(ErrorCode::Corrupt, "definition header");
    for (std::uint32_t i = 0; i < indexCount; ++i) w.zeros(fmt.realIndexEntrySize);  // row counts

    std::uint16_t fixedOffset = 0;
    std::uint16_t variableIndex = 0;
    for (std::uint16_t n = 0; n < columnCount; ++n) {
        const NewColumn& c = table.columns[n];
        const bool variable = isVariableType(c.type);
        w.u8(static_cast<std::uint8_t>(c.type));
        if (!fmt.jet3) w.u32(kTableMagic);
        w.u16(n);                             // column number
        w.u16(variable ? variableIndex : 0);  // slot among the variable columns
        w.u16(n);                             // position
        if (fmt.jet3) {
            for (const std::uint8_t b : jet3Model) w.u8(b);
        } else if (c.type == ColumnType::Decimal) {
            w.u8(c.precision);
            w.u8(c.scale);
            w.u16(0);
        } else {
            for (const std::uint8_t b : collation) w.u8(b);
        }
        w.u8(static_cast<std::uint8_t>(kColumnNullable | (variable ? 0 : kColumnFixed) |
                                       (c.autoNumber ? kColumnAutoLong : 0)));
        if (!fmt.jet3) {
            w.u8(0);  // extra flags
            w.u32(0);
        }
        const bool takesFixedRoom = !variable && c.type != ColumnType::YesNo;
        w.u16(takesFixedRoom ? fixedOffset : 0);
        w.u16(c.size);
        if (takesFixedRoom) fixedOffset = static_cast<std::uint16_t>(fixedOffset + c.size);
        if (variable) ++variableIndex;
    }
    for (const auto& c : table.columns) w.append(definitionName(fmt, c.name, codePage));

    for (std::uint32_t i = 0; i < indexCount; ++i) {
        w.append(realIndexEntry(fmt, table.indexes[i],
                                RowPointer{pages.maps, static_cast<std::uint8_t>(2 + i)},
                                pages.roots[i]));
    }
    for (std::uint32_t i = 0; i < indexCount; ++i) {
        w.append(logicalIndexEntry(fmt, table.indexes[i], i, i));
    }
    for (const auto& ix : table.indexes) w.append(definitionName(fmt, ix.name, codePage));

    std::uint8_t mapRow = static_cast<std::uint8_t>(2 + indexCount);
    for (std::uint16_t n = 0; n < columnCount; ++n) {
        if (!isLongValueType(table.columns[n].type)) continue;
        w.u16(n);
        w.u8(mapRow++);
        w.u24(pages.maps);
        w.u8(mapRow++);
        w.u24(pages.maps);
    }
    w.u16(0xFFFF);
    put32(w.bytes, 8, static_cast<std::uint32_t>(w.bytes.size()));
    return w.bytes;  // page headers and free space are writeDefinition's
}

}  // namespace

std::vector<std::uint8_t> definitionName(const format::Format& fmt, const std::string& name,
                                         std::uint16_t codePage) {
    if (!fmt.jet3) return nameBytes(name);
    const auto bytes =
        encodeCodePageText(name, codePage, ErrorCode::Unsupported, "The name '" + name + "'");
    if (bytes.size() > 0xFF) corrupt("a name longer than a definition can record");
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(bytes.size())};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

// Jet 3 has neither the leading constant nor the bytes after the root, and no flag that every
// index carries.
std::vector<std::uint8_t> realIndexEntry(const format::Format& fmt, const NewIndex& ix,
                                         RowPointer map, std::uint32_t root) {
    Writer w;
    if (!fmt.jet3) w.u32(kIndexMagic);
    for (std::size_t k = 0; k < kIndexColumnSlots; ++k) {
        if (k < ix.columns.size()) {
            w.u16(ix.columns[k].columnNumber);
            w.u8(ix.columns[k].ascending ? 0x01 : 0x00);
        } else {
            w.u16(0xFFFF);
            w.u8(0);
        }
    }
    w.u8(map.slot);
    w.u24(map.page);
    w.u32(root);
    if (!fmt.jet3) w.u32(0);
    w.u8(static_cast<std::uint8_t>((fmt.jet3 ? 0 : kIndexAlways) | (ix.unique ? kIndexUnique : 0) |
                                   (ix.ignoreNulls ? kIndexIgnoreNulls : 0) |
                                   (ix.required ? kIndexRequired : 0)));
    if (!fmt.jet3) w.zeros(5);
    return w.bytes;
}

std::vector<std::uint8_t> logicalIndexEntry(const format::Format& fmt, const NewIndex& ix,
                                            std::uint32_t number, std::uint32_t realIndex) {
    Writer w;
    if (!fmt.jet3) w.u32(kTableMagic);
    w.u32(number);
    w.u32(realIndex);
    w.u8(0);  // no related table
    w.u32(0xFFFFFFFF);
    w.u32(0);
    w.u8(0x04);  // what Access writes where an index has no relationship
    w.u8(0x04);
    w.u8(ix.primaryKey ? kPrimaryKeyIndex : 0);
    if (!fmt.jet3) w.u32(0);
    return w.bytes;
}

std::vector<std::uint8_t> emptyMapRow() { return std::vector<std::uint8_t>(kMapRowSize, 0); }

RowPointer placeMapRow(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                       const std::vector<std::uint8_t>& row) {
    const std::uint32_t mapsPage = RowPointer::from(table.usedPagesRow).page;
    if (mapsPage != 0) {
        DataPageWriter w(fmt, *file.page(mapsPage));
        if (const auto slot = w.addRow(row, 0)) {
            file.writePage(mapsPage, w.page());
            return RowPointer{mapsPage, static_cast<std::uint8_t>(*slot)};
        }
    }
    const std::uint32_t page = appendPage(file, fmt, {});
    DataPageWriter w(fmt, DataPageWriter::emptyPage(fmt, 0));
    const auto slot = w.addRow(row, 0);
    if (!slot) corrupt("a usage map row does not fit on an empty page");
    file.writePage(page, w.page());
    return RowPointer{page, static_cast<std::uint8_t>(*slot)};
}

std::vector<std::uint8_t> indexMapRow(std::uint32_t root) {
    std::vector<std::uint8_t> row(kMapRowSize, 0);
    put32(row, 1, root);
    row[5] = 0x01;
    return row;
}

std::uint32_t createTable(file::PageFile& file, const format::Format& fmt, const NewTable& table,
                          const Collation& collation, std::uint16_t codePage) {
    std::array<std::uint8_t, 6> jet3Model{};
    if (fmt.jet3) jet3Model = jet3ColumnModel(file, fmt);
    // Names are checked before any page is taken.
    for (const auto& c : table.columns) definitionName(fmt, c.name, codePage);
    for (const auto& ix : table.indexes) definitionName(fmt, ix.name, codePage);
    const std::size_t mapRows = 2 + table.indexes.size() + 2 * longValueColumnCount(table);
    if (fmt.dataRowCountOffset + 2 + mapRows * (kMapRowSize + 2) > fmt.pageSize) {
        throw Error(ErrorCode::Unsupported,
                    "Table '" + table.name +
                        "' has too many indexes "
                        "and long-value fields for one page of usage maps.");
    }
    Pages pages;
    pages.definition = appendPageAtEnd(file, fmt, {});
    pages.maps = appendPage(file, fmt, {});
    for (std::size_t i = 0; i < table.indexes.size(); ++i)
        pages.roots.push_back(appendPage(file, fmt, {}));
    writeDefinition(file, fmt, pages.definition,
                    definition(fmt, table, pages, collation, jet3Model, codePage));
    file.writePage(pages.maps, mapPage(fmt, table, pages));
    index::IndexPage root;
    root.leaf = true;
    root.owner = pages.definition;
    const auto rootBytes = index::writeIndexPage(fmt, root);
    for (const std::uint32_t page : pages.roots) file.writePage(page, rootBytes);
    return pages.definition;
}

}  // namespace jet::ddl
