#include "jet/compact.h"

#include <algorithm>
#include <optional>
#include <set>

#include "jet/ddl/page_claim.h"
#include "jet/ddl/table_rewrite.h"
#include "jet/store/catalog.h"
#include "jet/store/data_page.h"
#include "jet/store/free_tail.h"
#include "jet/store/pages_in_use.h"
#include "jet/store/usage_map.h"
#include "jet/store/usage_map_writer.h"
#include "jet/store/write_context.h"

namespace jet {
namespace {

// Whether the table's columns have gaps in their numbering, or slots of dropped fields, left by
// fields taken out.
bool hasGaps(const TableDef& table) {
    std::uint16_t variable = 0;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].number != i) return true;
        if (!table.columns[i].fixedLength) ++variable;
    }
    return table.maxColumns != table.columns.size() || table.varColumnCount != variable;
}

// The pages that tables gone from the catalog left behind, which Access keeps until the file is
// compacted: pages that no structure of the file reaches, that the global map does not call
// free, and that say they belong to a table that is no more (a definition page, a data or an
// index page naming a definition that is not a table's). A page nothing reaches that names no
// table (a long-value page) is left as it is: what it belongs to cannot be told for sure.
std::set<std::uint32_t> leftBehind(const file::PageFile& file, const format::Format& fmt,
                                   const std::vector<CatalogEntry>& catalog) {
    std::vector<bool> reached;
    try {
        reached = store::pagesInUse(file, fmt);
    } catch (const Error&) {
        return {};  // what cannot be read cannot vouch for a page
    }
    std::set<std::uint32_t> tables{store::kCatalogDefinitionPage};
    for (const auto& e : catalog) {
        if (e.type == store::kObjectLocalTable)
            tables.insert(static_cast<std::uint32_t>(e.id) & 0x00FFFFFF);
    }
    const std::vector<bool> free = store::freePageFlags(file, fmt);
    std::set<std::uint32_t> pages;
    for (std::uint32_t p = 3; p < reached.size(); ++p) {
        if (reached[p] || (p < free.size() && free[p])) continue;
        const file::PageRef page = file.page(p);
        const ddl::PageClaim claim = ddl::claimOf(*page);
        const bool definition = (*page)[0] == store::kTdefPageType;
        if (definition ||
            (claim.kind == ddl::PageClaim::Kind::Table && tables.count(claim.definition) == 0)) {
            pages.insert(p);
        }
    }
    return pages;
}

// Sets the row count a table's definition keeps to the rows its pages hold, when it can read
// them all.
void countRowsAgain(store::WriteContext& ctx, const TableDef& table) {
    std::uint32_t rows = 0;
    try {
        auto cursor = ctx.scan(table);
        while (cursor.next()) ++rows;
    } catch (const Error& e) {
        if (e.code() == ErrorCode::Io) throw;
        return;
    }
    if (rows == table.rowCount) return;
    file::Page definition = *ctx.file.page(table.definitionPage);
    put32(definition, ctx.format.tdefRowCount, rows);
    ctx.file.writePage(table.definitionPage, definition);
}

}  // namespace

CompactReport compact(Database& db, const std::function<void(const CompactProgress&)>& progress) {
    CompactReport report;
    db.catchUp();
    std::vector<std::shared_ptr<const TableDef>> tables;
    for (const std::string& name : db.userTableNames()) {
        auto table = db.table(name);
        if (const std::string why = ddl::TableRewrite::obstacle(*table); !why.empty()) {
            report.leftAlone.push_back("Table '" + table->name + "': " + why + ".");
            continue;
        }
        tables.push_back(std::move(table));
    }
    db.write([&](store::WriteContext& ctx) {
        // It ends by cutting the free pages off the end: those must come back whole.
        ctx.file.journalWholePages();
        report.bytesBefore = ctx.file.sizeInBytes();
        for (const auto& table : tables) {
            CompactProgress step{table->name, 0, std::uint64_t{table->rowCount} * 2};
            const auto tell = [&](std::uint64_t done) {
                step.rowsDone = done;
                step.rowsTotal = std::max(step.rowsTotal, done);
                if (progress) progress(step);
            };
            // Until finish(), nothing has changed: a table this engine cannot write with
            // certainty is left as it was.
            std::optional<ddl::TableRewrite> rewrite;
            try {
                rewrite.emplace(ctx.file, ctx.format, *table, ctx.codePage);
                auto cursor = ctx.scan(*table);
                while (cursor.next()) {
                    rewrite->requireWritable(cursor.row());
                    rewrite->add(cursor.row());
                    if ((rewrite->rows() & 0x3FF) == 0) tell(rewrite->rows());
                }
            } catch (const Error& e) {
                // A row that cannot be read, or written back as it was read, leaves the
                // table as it is; only a fault of the file system ends the whole work.
                if (e.code() == ErrorCode::Io) throw;
                report.leftAlone.push_back("Table '" + table->name + "': " + e.what());
                continue;
            }
            const std::uint64_t read = rewrite->rows();
            step.rowsTotal = read * 2;
            const bool renumber = hasGaps(*table);
            const auto outcome = rewrite->finish(renumber, [&](std::uint64_t written) {
                if ((written & 0x3FF) == 0) tell(read + written);
            });
            tell(read * 2);
            report.tables.push_back(
                {table->name, read, outcome.pagesBefore, outcome.pagesAfter, renumber});
        }
        // The tables left as they were, system tables among them, still get their stored row
        // counts made right.
        for (const auto& e : db.catalog()) {
            if (e.type != store::kObjectLocalTable) continue;
            const bool rewritten =
                std::any_of(report.tables.begin(), report.tables.end(),
                            [&](const CompactReport::Table& t) { return t.name == e.name; });
            if (!rewritten) countRowsAgain(ctx, *db.table(e.name));
        }
        const std::set<std::uint32_t> left = leftBehind(ctx.file, ctx.format, db.catalog());
        store::releasePages(ctx.file, ctx.format, left);
        report.pagesLeftBehind = static_cast<std::uint32_t>(left.size());
        report.pagesCut = store::cutFreeTail(ctx.file, ctx.format);
        report.bytesAfter = ctx.file.sizeInBytes();
    });
    return report;
}

}  // namespace jet
