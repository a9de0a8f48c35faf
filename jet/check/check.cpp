#include "jet/check/check.h"

#include <map>
#include <memory>

#include "jet/check/check_context.h"
#include "jet/check/index_check.h"
#include "jet/check/map_reading.h"
#include "jet/check/table_check.h"
#include "jet/check/table_layout.h"
#include "jet/file/header.h"
#include "jet/index/index_page.h"
#include "jet/store/catalog.h"
#include "jet/store/data_page.h"
#include "jet/store/table_definition.h"

namespace jet::check {
namespace {

// The global usage map: row 0 of page 1. It marks the pages that are free for reuse; pages
// past the end of the file count as free too, which is why it may mark them.
constexpr RowPointer kGlobalMap{1, 0};

struct TableEntry {
    std::string name;
    std::uint32_t definitionPage = 0;
};

// The local tables of the catalog, one per definition page. The catalog's own definition is
// always on page 2; it is checked even when the catalog cannot be read.
std::vector<TableEntry> localTables(CheckContext& ctx) {
    std::vector<TableEntry> tables;
    try {
        for (const auto& e : store::readCatalog(ctx.file, ctx.fmt, ctx.codePage)) {
            if (e.type != store::kObjectLocalTable) continue;
            tables.push_back(TableEntry{e.name, static_cast<std::uint32_t>(e.id) & 0x00FFFFFF});
        }
    } catch (const Error& e) {
        ctx.faults.add(FaultKind::Unreadable,
                       std::string("the catalog cannot be read: ") + e.what());
    }
    std::map<std::uint32_t, std::string> byPage;
    std::vector<TableEntry> unique;
    for (auto& t : tables) {
        const auto [it, fresh] = byPage.emplace(t.definitionPage, t.name);
        if (fresh) {
            unique.push_back(std::move(t));
        } else {
            ctx.faults.add(FaultKind::PageOwnership,
                           "tables " + quoted(it->second) + " and " + quoted(t.name) +
                               " share the definition on page " + std::to_string(t.definitionPage));
        }
    }
    if (!byPage.contains(store::kCatalogDefinitionPage)) {
        unique.insert(unique.begin(), TableEntry{"MSysObjects", store::kCatalogDefinitionPage});
    }
    return unique;
}

// The reader's definition of a table, for decoding its rows; null when the reader cannot
// decode them. The reader refusing a column type is its limit, not damage. Without the
// reader's catalog (damaged), the definition is read directly: only the catalog's own table is
// known then, and it has no calculated columns whose result types the catalog would give.
std::shared_ptr<const TableDef> readerDefinition(CheckContext& ctx, const Database* db,
                                                 const TableEntry& table) {
    const std::string& name = table.name;
    try {
        if (db != nullptr) return db->table(name);
        return std::make_shared<const TableDef>(store::readTableDefinition(
            ctx.file, ctx.fmt, table.definitionPage, name, ctx.codePage));
    } catch (const Error& e) {
        if (e.code() == ErrorCode::Corrupt) {
            ctx.faults.add(
                FaultKind::Unreadable,
                "table " + quoted(name) + ": its definition cannot be decoded: " + e.what());
        }
        return nullptr;
    }
}

void claimMapRow(CheckContext& ctx, std::uint32_t rowPointer) {
    if (rowPointer != 0) {
        ctx.claims.claim(RowPointer::from(rowPointer).page, "usage-map rows", ctx.faults);
    }
}

void checkTable(CheckContext& ctx, const Database* db, const TableEntry& entry) {
    const std::string table = "table " + quoted(entry.name);
    TableLayout layout;
    try {
        layout = readTableLayout(ctx.file, ctx.fmt, entry.definitionPage);
    } catch (const Error& e) {
        ctx.faults.add(FaultKind::Unreadable, table + ": its definition on page " +
                                                  std::to_string(entry.definitionPage) +
                                                  " cannot be read: " + e.what());
        return;
    }
    for (const std::uint32_t p : layout.definitionPages) {
        ctx.claims.claim(p, "the definition of " + table, ctx.faults);
    }
    claimMapRow(ctx, layout.usedPagesRow);
    claimMapRow(ctx, layout.freePagesRow);
    for (const auto& ix : layout.indexes) claimMapRow(ctx, ix.usedPagesRow);
    for (const auto& m : layout.longValueMaps) {
        claimMapRow(ctx, m.usedPagesRow);
        claimMapRow(ctx, m.freePagesRow);
    }

    const auto def = readerDefinition(ctx, db, entry);
    const TableRows rows = checkTableData(ctx, entry.name, layout, def.get());
    for (std::size_t i = 0; i < layout.indexes.size(); ++i) {
        checkIndex(ctx, entry.name, layout, i, def.get(), rows);
    }
}

// The global usage map: the pages free for reuse. Unreadable, it frees nothing.
std::vector<bool> readFreePages(CheckContext& ctx) {
    std::vector<bool> free(ctx.file.pageCount(), false);
    try {
        const MapReading map = readMap(ctx.file, ctx.fmt, kGlobalMap);
        for (const std::uint32_t p : map.mapPages) {
            ctx.claims.claim(p, "the global usage map", ctx.faults);
        }
        for (const std::uint32_t p : map.pages) free[p] = true;
    } catch (const Error& e) {
        ctx.faults.add(FaultKind::Unreadable,
                       std::string("the global usage map (page 1) cannot be read: ") + e.what());
    }
    return free;
}

// A data or index page that names a table as its owner but that none of the table's
// structures reached. Access leaves such pages behind (a data page it has rewritten elsewhere,
// an emptied index page) without freeing them until the file is compacted, so they are not
// damage; but they are worth knowing about.
void checkStrayPages(CheckContext& ctx, const std::vector<TableEntry>& tables,
                     const std::vector<bool>& free) {
    std::map<std::uint32_t, const TableEntry*> byPage;
    for (const auto& t : tables) byPage.emplace(t.definitionPage, &t);
    for (std::uint32_t p = 1; p < ctx.file.pageCount(); ++p) {
        if (free[p] || ctx.claims.claimed(p)) continue;
        const auto page = ctx.file.page(p);
        const std::uint8_t type = (*page)[0];
        if (type != store::kDataPageType && type != index::kIntermediatePageType &&
            type != index::kLeafPageType) {
            continue;
        }
        const auto owner = byPage.find(u32(*page, 4));
        if (owner == byPage.end()) continue;
        const std::string table = "table " + quoted(owner->second->name);
        ctx.faults.warn(
            type == store::kDataPageType ? FaultKind::UsageMap : FaultKind::IndexStructure,
            "stray pages",
            "page " + std::to_string(p) + " is " +
                (type == store::kDataPageType ? "a data page" : "an index page") + " of " + table +
                " that nothing of the table reaches, and the " +
                "global usage map does not mark it free");
    }
}

// A table definition that no catalog row leads to. Access leaves the definitions of tables it
// deleted in place until the file is compacted: a warning. But one whose data pages are still
// in use is a table the catalog lost (its rows were deleted or changed), with its records.
void checkUnlistedDefinitions(CheckContext& ctx, const std::vector<bool>& free) {
    std::vector<std::uint32_t> unlisted;
    std::map<std::uint32_t, std::uint32_t> dataPagesOf;  // by the definition page that owns them
    for (std::uint32_t p = 1; p < ctx.file.pageCount(); ++p) {
        if (free[p] || ctx.claims.claimed(p)) continue;
        const auto page = ctx.file.page(p);
        if ((*page)[0] == store::kTdefPageType) unlisted.push_back(p);
        if ((*page)[0] == store::kDataPageType) ++dataPagesOf[u32(*page, 4)];
    }
    for (const std::uint32_t p : unlisted) {
        const std::string where = "page " + std::to_string(p) +
                                  " holds the definition of a table that the catalog "
                                  "(MSysObjects) does not list";
        if (const auto data = dataPagesOf.find(p); data != dataPagesOf.end()) {
            ctx.faults.add(FaultKind::PageOwnership, "tables the catalog lost",
                           where + ", and " + std::to_string(data->second) +
                               " data pages of it are in use: the catalog lost a table and "
                               "its records");
        } else {
            ctx.faults.warn(FaultKind::PageOwnership, "deleted tables",
                            where + " (Access leaves these behind until the file is compacted)");
        }
    }
}

// Pages in use must not be marked free: the next allocation would overwrite them.
void checkFreePagesUnused(CheckContext& ctx, const std::vector<bool>& free) {
    for (std::uint32_t p = 0; p < ctx.file.pageCount(); ++p) {
        if (free[p] && ctx.claims.claimed(p)) {
            ctx.faults.add(FaultKind::GlobalUsageMap, "pages in use marked free",
                           "page " + std::to_string(p) + " is marked free in the global usage " +
                               "map, but it is used by " + ctx.claims.claimant(p));
        }
    }
}

}  // namespace

const char* faultKindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Unreadable:
            return "unreadable";
        case FaultKind::FileSize:
            return "file size";
        case FaultKind::PageOwnership:
            return "page ownership";
        case FaultKind::GlobalUsageMap:
            return "global usage map";
        case FaultKind::UsageMap:
            return "usage map";
        case FaultKind::FreeSpace:
            return "free space";
        case FaultKind::RowLayout:
            return "row layout";
        case FaultKind::Forwarding:
            return "forwarding";
        case FaultKind::LongValue:
            return "long value";
        case FaultKind::RowCount:
            return "row count";
        case FaultKind::ColumnCount:
            return "column count";
        case FaultKind::IndexStructure:
            return "index structure";
        case FaultKind::IndexOrder:
            return "index order";
        case FaultKind::IndexEntries:
            return "index entries";
        case FaultKind::IndexKey:
            return "index key";
    }
    return "fault";
}

std::vector<Fault> checkDatabase(const std::string& path, const OpenOptions& options) {
    // Opened for writing (when the file allows it) only so that a journal a dead writer left
    // is rolled back first, as before any read; the checker itself writes nothing.
    file::PageFile file(path, file::AccessMode::ReadWrite);
    // One shared lock for the whole check: a writer changing pages halfway would show up as
    // faults that are not in the file.
    const auto guard = file.readGuard();
    const file::Header header = file::openHeader(file, options.password);
    CheckContext ctx(file, *header.format, header.codePage);

    std::unique_ptr<Database> db;
    try {
        OpenOptions reading = options;
        reading.writable = false;
        db = Database::open(path, reading);
    } catch (const Error&) {
        // The header opened, so the catalog is at fault; that is reported when the tables
        // are listed, and the checks go on without the reader's catalog.
    }
    if (file.sizeLimit() != 0 && file.sizeInBytes() > file.sizeLimit()) {
        ctx.faults.add(FaultKind::FileSize, "the file holds " + std::to_string(file.sizeInBytes()) +
                                                " bytes, more than the " +
                                                std::to_string(file.sizeLimit()) +
                                                " that Access opens");
    }
    ctx.claims.claim(0, "the database header", ctx.faults);
    ctx.claims.claim(kGlobalMap.page, "usage-map rows", ctx.faults);
    const std::vector<bool> free = readFreePages(ctx);
    const std::vector<TableEntry> tables = localTables(ctx);
    for (const auto& t : tables) checkTable(ctx, db.get(), t);
    checkStrayPages(ctx, tables, free);
    checkUnlistedDefinitions(ctx, free);
    checkFreePagesUnused(ctx, free);
    return ctx.faults.take();
}

}  // namespace jet::check
