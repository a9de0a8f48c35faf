#include "jet/ddl/index_definition_writer.h"

#include <set>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/index/index_page_writer.h"
#include "jet/store/table_definition_pages.h"
#include "jet/store/usage_map_writer.h"

namespace jet::ddl {

using namespace store;
namespace {

void insertAt(std::vector<std::uint8_t>& def, std::size_t at, const std::vector<std::uint8_t>& b) {
    def.insert(def.begin() + static_cast<std::ptrdiff_t>(at), b.begin(), b.end());
}

void eraseAt(std::vector<std::uint8_t>& def, std::size_t at, std::size_t length) {
    def.erase(def.begin() + static_cast<std::ptrdiff_t>(at),
              def.begin() + static_cast<std::ptrdiff_t>(at + length));
}

// Where a logical index entry keeps the index's number; its data's follows.
std::size_t logicalNumberOffset(const format::Format& fmt) { return fmt.jet3 ? 0 : 4; }

}  // namespace

void addIndex(file::PageFile& file, const format::Format& fmt, const TableDef& table,
              const NewIndex& index, std::uint16_t codePage) {
    std::vector<std::uint8_t> def = readDefinition(file, fmt, table.definitionPage);
    const DefinitionLayout l = layoutOf(fmt, def);
    if (l.end > def.size()) corrupt("the definition ends inside its index names");

    const std::uint32_t root = appendPage(file, fmt, {});
    index::IndexPage empty;
    empty.leaf = true;
    empty.owner = table.definitionPage;
    file.writePage(root, index::writeIndexPage(fmt, empty));
    const RowPointer map = placeMapRow(file, fmt, table, indexMapRow(root));

    // From the back, so that the earlier offsets still hold.
    insertAt(def, l.trailer, definitionName(fmt, index.name, codePage));
    insertAt(def, l.logicalNames, logicalIndexEntry(fmt, index, l.logicalCount, l.realCount));
    insertAt(def, l.logicalEntries, realIndexEntry(fmt, index, map, root));
    insertAt(def, l.columns, std::vector<std::uint8_t>(fmt.realIndexEntrySize, 0));
    put32(def, fmt.tdefLogicalIndexes, l.logicalCount + 1);
    put32(def, fmt.tdefRealIndexes, l.realCount + 1);
    writeDefinition(file, fmt, table.definitionPage, def);
}

void dropIndex(file::PageFile& file, const format::Format& fmt, const TableDef& table,
               const IndexDef& index) {
    std::vector<std::uint8_t> def = readDefinition(file, fmt, table.definitionPage);
    const DefinitionLayout l = layoutOf(fmt, def);
    if (l.end > def.size()) corrupt("the definition ends inside its index names");
    const std::size_t numberAt = logicalNumberOffset(fmt), dataAt = numberAt + 4;
    std::optional<std::uint32_t> position;
    std::uint32_t sharers = 0;
    for (std::uint32_t i = 0; i < l.logicalCount; ++i) {
        const std::size_t at = l.logicalEntries + std::size_t{i} * fmt.logicalIndexDefSize;
        if (u32(def, at + numberAt) == index.number) position = i;
        if (u32(def, at + dataAt) == index.dataNumber) ++sharers;
    }
    if (!position || index.dataNumber >= l.realCount) {
        corrupt("index '" + index.name + "' is not where its table's definition lists it");
    }
    const bool dataGoes = sharers == 1;

    // Names and entries from the back; then the numbers of what follows move up.
    std::size_t nameAt = l.logicalNames;
    for (std::uint32_t i = 0; i < *position; ++i) nameAt += definitionNameSize(fmt, def, nameAt);
    eraseAt(def, nameAt, definitionNameSize(fmt, def, nameAt));
    eraseAt(def, l.logicalEntries + std::size_t{*position} * fmt.logicalIndexDefSize,
            fmt.logicalIndexDefSize);
    if (dataGoes) {
        eraseAt(def, l.realEntries + std::size_t{index.dataNumber} * fmt.realIndexDefSize,
                fmt.realIndexDefSize);
        eraseAt(def, l.rowCounts + std::size_t{index.dataNumber} * fmt.realIndexEntrySize,
                fmt.realIndexEntrySize);
    }
    const std::size_t realRemoved = dataGoes ? fmt.realIndexDefSize + fmt.realIndexEntrySize : 0;
    const std::size_t logicalStart = l.logicalEntries - realRemoved;
    for (std::uint32_t i = 0; i + 1 < l.logicalCount; ++i) {
        const std::size_t at = logicalStart + std::size_t{i} * fmt.logicalIndexDefSize;
        if (u32(def, at + numberAt) > index.number) {
            put32(def, at + numberAt, u32(def, at + numberAt) - 1);
        }
        if (dataGoes && u32(def, at + dataAt) > index.dataNumber) {
            put32(def, at + dataAt, u32(def, at + dataAt) - 1);
        }
    }
    put32(def, fmt.tdefLogicalIndexes, l.logicalCount - 1);
    if (dataGoes) put32(def, fmt.tdefRealIndexes, l.realCount - 1);
    writeDefinition(file, fmt, table.definitionPage, def);

    if (!dataGoes || index.usedPagesRow == 0) return;
    std::set<std::uint32_t> pages;
    collectOwnedPages(file, fmt, RowPointer::from(index.usedPagesRow), pages);
    releasePages(file, fmt, pages);
}

}  // namespace jet::ddl
