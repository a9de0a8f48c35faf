#include "jet/ddl/table_rewrite.h"

#include <algorithm>
#include <array>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/ddl/index_rebuild.h"
#include "jet/ddl/page_claim.h"
#include "jet/ddl/table_definition_writer.h"
#include "jet/index/table_indexes.h"
#include "jet/store/data_page.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_definition_pages.h"
#include "jet/store/table_writer.h"
#include "jet/store/usage_map.h"
#include "jet/store/usage_map_writer.h"

namespace jet::ddl {

using namespace store;
namespace {

// The usage maps a table keeps: its pages and those with room, each long-value field's two.
std::vector<RowPointer> tableMaps(const TableDef& table) {
    std::vector<RowPointer> maps;
    const auto add = [&](std::uint32_t row) {
        if (row != 0) maps.push_back(RowPointer::from(row));
    };
    add(table.usedPagesRow);
    add(table.freePagesRow);
    for (const auto& c : table.columns) {
        add(c.longValuePagesRow);
        add(c.longValueFreePagesRow);
    }
    return maps;
}

// Every usage map of the table, its indexes' too.
std::vector<RowPointer> allMaps(const TableDef& table) {
    std::vector<RowPointer> maps = tableMaps(table);
    for (const IndexDef* ix : indexData(table)) maps.push_back(RowPointer::from(ix->usedPagesRow));
    return maps;
}

std::uint32_t countOwned(const file::PageFile& file, const format::Format& fmt,
                         const TableDef& table) {
    std::set<std::uint32_t> pages;
    for (const RowPointer map : allMaps(table)) collectOwnedPages(file, fmt, map, pages);
    return static_cast<std::uint32_t>(pages.size());
}

}  // namespace

std::string TableRewrite::obstacle(const TableDef& table) {
    for (const auto& c : table.columns) {
        if (!isKnownColumnType(static_cast<std::uint8_t>(c.type))) {
            return "it has field '" + c.name + "' of a type this engine does not know";
        }
        if (c.type == ColumnType::Complex) {
            return "it has field '" + c.name + "', whose values are kept in tables of their own";
        }
    }
    const std::string index = index::TableIndexes::unsupportedChange(
        table, std::vector<bool>(table.columns.size(), true));
    if (!index.empty()) return index;
    return {};
}

TableRewrite::TableRewrite(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                           std::uint16_t codePage)
    : file_(file),
      fmt_(fmt),
      table_(table),
      codePage_(codePage),
      encoder_(fmt, table, codePage),
      rows_(file.path()) {
    if (const std::string why = obstacle(table); !why.empty()) {
        throw Error(ErrorCode::Unsupported,
                    "Table '" + table.name + "' cannot be written afresh: " + why + ".");
    }
    giveBack_ = pagesToGiveBack();
}

void TableRewrite::requireWritable(const std::vector<Value>& row) const {
    const std::vector<std::optional<ByteSpan>> keep(row.size());
    encoder_.encode(row, keep, 0, longValuePlaceholder);
}

std::set<std::uint32_t> TableRewrite::pagesToGiveBack() const {
    std::set<std::uint32_t> pages;
    for (const RowPointer map : allMaps(table_)) {
        for (const auto p : readUsageMap(file_, fmt_, map)) pages.insert(p);
    }
    // What stays: the definition, the pages holding the map rows, the index roots (the maps
    // keep their own map pages).
    std::set<std::uint32_t> stays;
    for (const auto p : definitionPages(file_, table_.definitionPage)) stays.insert(p);
    for (const RowPointer map : allMaps(table_)) stays.insert(map.page);
    for (const IndexDef* ix : indexData(table_)) stays.insert(ix->firstPage);
    std::set<std::uint32_t> out;
    for (const std::uint32_t p : pages) {
        if (stays.count(p) != 0) continue;
        // Only a page that says it is this table's goes: a damaged map could name another's.
        const file::PageRef page = file_.page(p);
        const PageClaim claim = claimOf(*page);
        const bool ours =
            claim.kind == PageClaim::Kind::LongValues ||
            (claim.kind == PageClaim::Kind::Table && claim.definition == table_.definitionPage);
        const bool empty = std::all_of(page->begin(), page->end(), [](auto b) { return b == 0; });
        if (!ours && !empty) {
            throw Error(ErrorCode::Unsupported,
                        "A usage map of table '" + table_.name + "' marks page " +
                            std::to_string(p) +
                            ", which is not the table's; the table was left as it was.");
        }
        out.insert(p);
    }
    return out;
}

void TableRewrite::emptyMaps() {
    for (const RowPointer map : tableMaps(table_)) clearMap(file_, fmt_, map);
    for (const IndexDef* ix : indexData(table_)) {
        emptyIndexData(file_, fmt_, *ix, table_.definitionPage);
    }
}

// The caller's definition with the numbers the file now gives its columns: what the caller's
// holds beyond the definition's bytes (a calculated field's result type, from the catalog) stays.
TableDef TableRewrite::renumbered() const {
    const TableDef fresh =
        readTableDefinition(file_, fmt_, table_.definitionPage, table_.name, codePage_);
    TableDef table = table_;
    if (fresh.columns.size() != table.columns.size() ||
        fresh.indexes.size() != table.indexes.size()) {
        corrupt("the fields of table '" + table_.name + "' are not as they were numbered");
    }
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        ColumnDef& c = table.columns[i];
        const ColumnDef& f = fresh.columns[i];
        if (f.name != c.name) {
            corrupt("the fields of table '" + table_.name + "' are not as they were numbered");
        }
        c.number = f.number;
        c.varIndex = f.varIndex;
        c.fixedOffset = f.fixedOffset;
    }
    for (std::size_t i = 0; i < table.indexes.size(); ++i) {
        table.indexes[i].columns = fresh.indexes[i].columns;
    }
    table.maxColumns = fresh.maxColumns;
    table.varColumnCount = fresh.varColumnCount;
    return table;
}

TableRewrite::Outcome TableRewrite::finish(bool renumber,
                                           const std::function<void(std::uint64_t)>& progress) {
    Outcome outcome;
    outcome.pagesBefore = countOwned(file_, fmt_, table_);
    emptyMaps();
    releasePages(file_, fmt_, giveBack_, Freed::KeptForNow);
    if (renumber) renumberColumns(file_, fmt_, table_);
    outcome.table = renumber ? renumbered() : table_;
    const TableDef& table = outcome.table;

    TableWriter writer(file_, fmt_, table, codePage_);
    index::TableIndexes indexes(file_, fmt_, table, index::IndexFill::Rebuild);
    std::vector<Value> row;
    std::uint64_t written = 0;
    rows_.rewind();
    while (rows_.next(row)) {
        indexes.insertRow(writer.insertRow(row), row);
        ++written;
        if (progress) progress(written);
    }
    indexes.finish();
    zeroPagesStillFree(file_, fmt_, giveBack_);
    writer.adjustRowCount(static_cast<std::int64_t>(written) - table.rowCount);
    outcome.table.rowCount = static_cast<std::uint32_t>(written);
    outcome.pagesAfter = countOwned(file_, fmt_, table);
    return outcome;
}

}  // namespace jet::ddl
