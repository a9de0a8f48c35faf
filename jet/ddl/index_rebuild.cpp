#include "jet/ddl/index_rebuild.h"

#include <algorithm>
#include <string>

#include "jet/base/error.h"
#include "jet/ddl/page_claim.h"
#include "jet/index/index_page.h"
#include "jet/index/index_page_writer.h"
#include "jet/index/table_indexes.h"
#include "jet/store/table_scan.h"
#include "jet/store/usage_map.h"
#include "jet/store/usage_map_writer.h"

namespace jet::ddl {
bool holdsAnyOf(const TableDef& table, const IndexDef& index, const std::vector<bool>& columns) {
    return std::any_of(index.columns.begin(), index.columns.end(), [&](const IndexColumn& ic) {
        return std::any_of(table.columns.begin(), table.columns.end(), [&](const ColumnDef& c) {
            return c.number == ic.columnNumber && columns[c.order];
        });
    });
}

std::vector<const IndexDef*> indexData(const TableDef& table) {
    std::vector<const IndexDef*> data;
    for (const auto& ix : table.indexes) {
        if (std::none_of(data.begin(), data.end(),
                         [&](const IndexDef* d) { return d->dataNumber == ix.dataNumber; })) {
            data.push_back(&ix);
        }
    }
    return data;
}

IndexRebuild::IndexRebuild(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                           const std::vector<bool>& changed, std::uint16_t codePage)
    : file_(file), fmt_(fmt), codePage_(codePage), rebuilt_(table), others_(table) {
    // An index data is built again when any logical index over it holds a changed column.
    std::set<std::uint32_t> data;
    for (const auto& ix : table.indexes) {
        if (holdsAnyOf(table, ix, changed)) data.insert(ix.dataNumber);
    }
    const auto rebuilt = [&](const IndexDef& ix) { return data.count(ix.dataNumber) != 0; };
    std::erase_if(rebuilt_.indexes, [&](const IndexDef& ix) { return !rebuilt(ix); });
    std::erase_if(others_.indexes, rebuilt);

    // Their pages but the roots, which stay; each must say it is one of the table's.
    for (const IndexDef* ix : indexData(rebuilt_)) {
        const RowPointer map = RowPointer::from(ix->usedPagesRow);
        for (const std::uint32_t p : store::readUsageMap(file, fmt, map)) {
            if (p == ix->firstPage || p == map.page) continue;
            const file::PageRef page = file.page(p);
            // An index page of this table: a data page the map names by mistake stays.
            const bool indexPage =
                (*page)[0] == index::kIntermediatePageType || (*page)[0] == index::kLeafPageType;
            const PageClaim claim = claimOf(*page);
            if (!indexPage || claim.kind != PageClaim::Kind::Table ||
                claim.definition != table.definitionPage) {
                throw Error(ErrorCode::Unsupported,
                            "The usage map of index '" + ix->name + "' of table '" + table.name +
                                "' marks page " + std::to_string(p) +
                                ", which is not the table's; the table was left as it was.");
            }
            giveBack_.insert(p);
        }
    }
}

void emptyIndexData(file::PageFile& file, const format::Format& fmt, const IndexDef& data,
                    std::uint32_t definitionPage) {
    index::IndexPage root;
    root.leaf = true;
    root.owner = definitionPage;
    file.writePage(data.firstPage, index::writeIndexPage(fmt, root));
    const RowPointer map = RowPointer::from(data.usedPagesRow);
    store::clearMap(file, fmt, map);
    store::markPage(file, fmt, map, data.firstPage, true);
}

void IndexRebuild::start() {
    for (const IndexDef* ix : indexData(rebuilt_)) {
        emptyIndexData(file_, fmt_, *ix, rebuilt_.definitionPage);
    }
    store::releasePages(file_, fmt_, giveBack_, store::Freed::KeptForNow);
}

void IndexRebuild::finish() {
    std::vector<bool> keys(rebuilt_.columns.size(), false);
    for (const auto& ix : rebuilt_.indexes) {
        for (const auto& ic : ix.columns) {
            for (const auto& c : rebuilt_.columns) {
                if (c.number == ic.columnNumber) keys[c.order] = true;
            }
        }
    }
    index::TableIndexes indexes(file_, fmt_, rebuilt_, index::IndexFill::Rebuild);
    store::TableScan scan(file_, fmt_, rebuilt_, codePage_);
    scan.decodeOnly(keys);
    while (scan.next()) indexes.insertRow(scan.location(), scan.row());
    indexes.finish();
    store::zeroPagesStillFree(file_, fmt_, giveBack_);
}

}  // namespace jet::ddl
