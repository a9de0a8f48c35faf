#include "jet/store/pages_in_use.h"

#include "jet/store/catalog.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_definition_pages.h"
#include "jet/store/usage_map.h"

namespace jet::store {

std::vector<bool> pagesInUse(const file::PageFile& file, const format::Format& fmt) {
    std::vector<bool> used(file.pageCount(), false);
    const auto mark = [&](std::uint32_t page) {
        if (page < used.size()) used[page] = true;
    };
    const auto markMap = [&](std::uint32_t raw) {
        if (raw == 0) return;
        const RowPointer map = RowPointer::from(raw);
        mark(map.page);
        for (const std::uint32_t p : readUsageMap(file, fmt, map)) mark(p);
        for (const std::uint32_t p : referenceMapPages(file, fmt, map)) mark(p);
    };
    mark(0);
    mark(1);
    std::vector<std::uint32_t> definitions{kCatalogDefinitionPage};
    // Names are not needed: the code page only decodes them.
    for (const auto& e : readCatalog(file, fmt, 0)) {
        if (e.type == kObjectLocalTable)
            definitions.push_back(static_cast<std::uint32_t>(e.id) & 0x00FFFFFF);
    }
    for (const std::uint32_t first : definitions) {
        for (const std::uint32_t p : definitionPages(file, first)) mark(p);
        const TableDef t = readTableDefinition(file, fmt, first, "", 0);
        markMap(t.usedPagesRow);
        markMap(t.freePagesRow);
        for (const auto& ix : t.indexes) markMap(ix.usedPagesRow);
        for (const auto& c : t.columns) {
            markMap(c.longValuePagesRow);
            markMap(c.longValueFreePagesRow);
        }
    }
    return used;
}

}  // namespace jet::store
