#include "jet/sql/table_ddl.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <set>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/ddl/index_definition_writer.h"
#include "jet/ddl/table_creator.h"
#include "jet/format/format.h"
#include "jet/index/index_key.h"
#include "jet/index/table_indexes.h"
#include "jet/sql/alter_table.h"
#include "jet/sql/insert.h"
#include "jet/store/property_map.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_definition_pages.h"
#include "jet/store/table_writer.h"
#include "jet/store/usage_map_writer.h"
#include "jet/store/write_context.h"

namespace jet::sql {
namespace {

constexpr std::int16_t kTableObject = 1;
constexpr std::int32_t kFullAccess = 0xFFFFF;  // the rights Access grants on a new object
const Bytes kAdminSid{0xA6, 0x33};             // Access's Admin user, where the database names none
constexpr std::size_t kMaxIndexColumns = 10;
constexpr std::size_t kMaxIndexes = 32;

const CatalogEntry* findObject(const Database& db, const std::string& name) {
    for (const auto& e : db.catalog()) {
        if (namesEqual(e.name, name) &&
            (e.type == kTableObject || e.type == 5 || e.type == 4 || e.type == 6)) {
            return &e;
        }
    }
    return nullptr;
}

std::int32_t tablesContainerId(const Database& db) {
    for (const auto& e : db.catalog()) {
        if (e.name == "Tables" && e.type == 3) return e.id;
    }
    throw Error(ErrorCode::Corrupt,
                "The catalog of '" + db.path() + "' has no container for tables.")
        .about(db.path());
}

// Now as Access stores it: local time, in days since 1899-12-30.
DateTime now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    const double seconds = static_cast<double>(t) + static_cast<double>(local.tm_gmtoff);
    return DateTime{25569.0 + seconds / 86400.0};
}

// The rows of a catalog table whose `column` holds `value`, with their locations.
template <typename Visit>
void forEachRowWhere(const Database& db, const std::shared_ptr<const TableDef>& table,
                     const std::string& column, const Value& value, Visit visit) {
    const ColumnDef* c = table->findColumn(column);
    if (c == nullptr) {
        throw Error(ErrorCode::Corrupt, "Table '" + table->name + "' of '" + db.path() +
                                            "' has no field '" + column + "'.")
            .about(db.path(), table->name);
    }
    auto cursor = db.scan(table);
    while (cursor.next()) {
        if (cursor.row()[c->order] == value) visit(cursor.row(), cursor.location());
    }
}

Value valueOf(const TableDef& table, const std::vector<Value>& row, const std::string& column) {
    const ColumnDef* c = table.findColumn(column);
    return c == nullptr ? Value{} : row[c->order];
}

// The owner Access gives new objects: that of the database's own properties (MSysDb).
Value newObjectOwner(const Database& db) {
    const auto objects = db.table("MSysObjects");
    Value owner = kAdminSid;
    forEachRowWhere(db, objects, "Name", Value{std::string("MSysDb")},
                    [&](const std::vector<Value>& row, RowLocation) {
                        const Value v = valueOf(*objects, row, "Owner");
                        if (const auto* b = std::get_if<Bytes>(&v); b && !b->empty()) owner = v;
                    });
    return owner;
}

// The catalog rows of a new table: its MSysObjects row, and an MSysACEs row granting full
// access to each user and group that has rights on the tables container.
void addCatalogRows(Database& db, store::WriteContext& ctx, const std::string& name,
                    std::uint32_t id, const Bytes& properties) {
    const std::int32_t parent = tablesContainerId(db);
    const auto objects = db.table("MSysObjects");
    const auto aces = db.table("MSysACEs");
    std::vector<Value> sids;
    forEachRowWhere(db, aces, "ObjectId", Value{parent},
                    [&](const std::vector<Value>& row, RowLocation) {
                        sids.push_back(valueOf(*aces, row, "SID"));
                    });
    if (sids.empty()) sids.push_back(kAdminSid);
    const Value owner = newObjectOwner(db);

    const DateTime created = now();
    RowInserter object(
        db, objects,
        {"Id", "ParentId", "Name", "Type", "DateCreate", "DateUpdate", "Owner", "Flags", "LvProp"},
        "CREATE TABLE", RowInserter::Target::Catalog);
    object.begin(ctx);
    object.add({static_cast<std::int32_t>(id), parent, name, kTableObject, created, created, owner,
                std::int32_t{0}, properties.empty() ? Value{} : Value{properties}});
    object.finish(ctx);

    RowInserter rights(db, aces, {"ObjectId", "SID", "ACM", "FInheritable"}, "CREATE TABLE",
                       RowInserter::Target::Catalog);
    rights.begin(ctx);
    for (const auto& sid : sids) {
        rights.add({static_cast<std::int32_t>(id), sid, kFullAccess, false});
    }
    rights.finish(ctx);
    ctx.catalogChanged = true;
}

// The catalog rows of a table that goes.
void removeCatalogRows(Database& db, store::WriteContext& ctx, std::int32_t id) {
    for (const auto& [catalogTable, column] :
         {std::pair{"MSysObjects", "Id"}, std::pair{"MSysACEs", "ObjectId"}}) {
        const auto table = db.table(catalogTable);
        store::TableWriter writer(ctx.file, ctx.format, *table, ctx.codePage);
        std::vector<std::uint32_t> deleted;
        forEachRowWhere(db, table, column, Value{id}, [&](auto&, RowLocation where) {
            writer.deleteRow(where);
            deleted.push_back(where.page << 8 | where.slot);
        });
        writer.adjustRowCount(-static_cast<std::int64_t>(deleted.size()));
        if (!deleted.empty() && !table->indexes.empty()) {
            index::TableIndexes(ctx.file, ctx.format, *table).removeRows(std::move(deleted));
        }
    }
    ctx.catalogChanged = true;
}

// Gives a table's pages back to the file: its data and long-value pages, its index pages, the
// map pages its maps refer to and its definition. The row that holds each map stays on its
// page, which other tables' maps may share.
void releaseTablePages(store::WriteContext& ctx, const TableDef& table) {
    std::set<std::uint32_t> pages;
    const auto owned = [&](std::uint32_t map) {
        if (map != 0) {
            store::collectOwnedPages(ctx.file, ctx.format, RowPointer::from(map), pages);
        }
    };
    owned(table.usedPagesRow);
    for (const auto& c : table.columns) owned(c.longValuePagesRow);
    for (const auto& ix : table.indexes) owned(ix.usedPagesRow);
    for (const std::uint32_t p : store::definitionPages(ctx.file, table.definitionPage)) {
        pages.insert(p);
    }
    store::releasePages(ctx.file, ctx.format, pages);
}

// The name of a relationship the table takes part in, on either side, enforced or not.
std::optional<std::string> relationshipOf(const Database& db, const TableDef& table) {
    const auto relationships = db.table("MSysRelationships");
    auto cursor = db.scan(relationships);
    while (cursor.next()) {
        const auto& row = cursor.row();
        const Value name{table.name};
        if (valueOf(*relationships, row, "szObject") != name &&
            valueOf(*relationships, row, "szReferencedObject") != name) {
            continue;
        }
        const Value rel = valueOf(*relationships, row, "szRelationship");
        const auto* relName = std::get_if<std::string>(&rel);
        return relName ? *relName : std::string();
    }
    return std::nullopt;
}

ddl::NewIndex keyIndex(const ddl::NewTable& table, const std::string& name,
                       const std::vector<ast::Name>& columns, bool primaryKey) {
    ddl::NewIndex ix;
    ix.name = name;
    ix.primaryKey = primaryKey;
    ix.unique = true;
    ix.required = primaryKey;
    for (const auto& c : columns) {
        const auto found = std::find_if(table.columns.begin(), table.columns.end(),
                                        [&](auto& col) { return namesEqual(col.name, c.text); });
        if (found == table.columns.end()) {
            throw Error(ErrorCode::FieldNotFound, "No field named '" + c.text + "' in table '" +
                                                      table.name + "' for index '" + name + "'.");
        }
        ix.columns.push_back(
            IndexColumn{static_cast<std::uint16_t>(found - table.columns.begin()), true});
    }
    return ix;
}

// Refuses, before anything is written, an index of more than 10 fields or one whose keys the
// engine cannot build; `fields` are the index's fields, in key order.
void requireBuildable(const ddl::NewIndex& ix, const std::string& table,
                      const std::vector<ColumnDef>& fields) {
    if (fields.size() > kMaxIndexColumns) {
        throw Error(ErrorCode::Unsupported,
                    "Index '" + ix.name + "' of table '" + table + "' has more than 10 fields.");
    }
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (!index::keyColumnFor(fields[k], ix.columns[k].ascending)) {
            throw Error(ErrorCode::Unsupported,
                        "Index '" + ix.name + "' of table '" + table + "' would hold field '" +
                            fields[k].name +
                            "', and this engine cannot build its keys yet (fields of its type, "
                            "or text in descending order or in the file's sort order).");
        }
    }
}

// The fields of a new table's index as the key encoder sees them.
std::vector<ColumnDef> newIndexFields(const ddl::NewTable& table, const ddl::NewIndex& ix,
                                      const ddl::Collation& collation) {
    std::vector<ColumnDef> fields;
    for (const auto& ic : ix.columns) {
        const auto& c = table.columns[ic.columnNumber];
        ColumnDef& field = fields.emplace_back();
        field.name = c.name;
        field.type = c.type;
        field.sortOrder = static_cast<std::uint16_t>(collation[0] | collation[1] << 8);
        field.sortOrderVersion = collation[3];
    }
    return fields;
}

}  // namespace

void runCreateTable(Database& db, const ast::CreateTable& create, std::string_view) {
    const std::string& name = create.table.text;
    requireValidName(name, "table");
    if (const CatalogEntry* e = findObject(db, name)) {
        throw Error(ErrorCode::TableExists, "Table '" + e->name + "' already exists.");
    }
    if (create.fields.empty()) {
        throw Error(ErrorCode::SyntaxError, "Table '" + name + "' must have at least one field.");
    }
    if (create.fields.size() > ddl::kMaxColumns) {
        throw Error(ErrorCode::TooManyFields, "Too many fields defined in table '" + name + "'.");
    }
    ddl::NewTable table;
    table.name = name;
    std::vector<ast::Name> primaryKey;
    std::string primaryKeyName = "PrimaryKey";
    const auto setPrimaryKey = [&](const std::vector<ast::Name>& columns) {
        if (!primaryKey.empty()) {
            throw Error(ErrorCode::SyntaxError,
                        "Table '" + name + "' is given more than one primary key.");
        }
        primaryKey = columns;
    };
    for (const auto& f : create.fields) {
        requireValidName(f.column.text, "field");
        for (const auto& c : table.columns) {
            if (namesEqual(c.name, f.column.text)) {
                throw Error(
                    ErrorCode::DuplicateField,
                    "Field '" + f.column.text + "' is defined twice in table '" + name + "'.");
            }
        }
        ddl::NewColumn c = columnForType(f.type, db.version());
        c.name = f.column.text;
        table.columns.push_back(c);
        if (f.primaryKey) setPrimaryKey({f.column});
        if (f.unique) table.indexes.push_back(keyIndex(table, f.column.text, {f.column}, false));
    }
    for (const auto& k : create.constraints) {
        if (k.primaryKey) {
            setPrimaryKey(k.columns);
            if (!k.name.text.empty()) primaryKeyName = k.name.text;
        } else {
            table.indexes.push_back(
                keyIndex(table, k.name.text.empty() ? k.columns.front().text : k.name.text,
                         k.columns, false));
        }
    }
    if (!primaryKey.empty()) {
        table.indexes.insert(table.indexes.begin(),
                             keyIndex(table, primaryKeyName, primaryKey, true));
    }
    // NOT NULL and DEFAULT are properties of the fields, kept in the table's catalog row.
    Bytes properties;
    for (const auto& f : create.fields) {
        const auto set = fieldProperties(f.notNull, f.defaultValue);
        if (!set.empty()) {
            properties = store::withColumnProperties(*db.format(), properties, db.codePage(),
                                                     f.column.text, set);
        }
    }
    std::set<std::string> indexNames;
    for (auto& ix : table.indexes) {
        requireValidName(ix.name, "index");
        if (!indexNames.insert(foldName(ix.name)).second) {
            throw Error(ErrorCode::IndexExists,
                        "Table '" + name + "' already has an index named '" + ix.name + "'.");
        }
    }
    if (table.indexes.size() > kMaxIndexes) {
        throw Error(ErrorCode::Unsupported, "Too many indexes on table '" + name + "'.");
    }
    const ddl::Collation collation = catalogCollation(db);
    for (const auto& ix : table.indexes) {
        requireBuildable(ix, name, newIndexFields(table, ix, collation));
    }
    db.write([&](store::WriteContext& ctx) {
        const std::uint32_t id =
            ddl::createTable(ctx.file, ctx.format, table, collation, ctx.codePage);
        addCatalogRows(db, ctx, name, id, properties);
    });
}

void runDropTable(Database& db, const ast::DropTable& drop, std::string_view) {
    const auto table = db.table(drop.table.text);
    if (table->tableType != 0x4e) {
        throw Error(ErrorCode::NotUpdatable, "Cannot delete system table '" + table->name + "'.");
    }
    if (const auto rel = relationshipOf(db, *table)) {
        throw Error(ErrorCode::NotUpdatable, "Cannot delete table '" + table->name +
                                                 "': it takes part in the relationship '" + *rel +
                                                 "'; delete the relationship first.");
    }
    const CatalogEntry* entry = findObject(db, table->name);
    if (entry == nullptr || entry->type != kTableObject ||
        static_cast<std::uint32_t>(entry->id & 0x00FFFFFF) != table->definitionPage) {
        throw Error(ErrorCode::Corrupt, "The catalog of '" + db.path() + "' does not name table '" +
                                            table->name + "' where its definition lies.")
            .about(db.path(), table->name);
    }
    const std::int32_t id = entry->id;
    db.write([&](store::WriteContext& ctx) {
        removeCatalogRows(db, ctx, id);
        releaseTablePages(ctx, *table);
    });
}

void runCreateIndex(Database& db, const ast::CreateIndex& create, std::string_view) {
    const auto table = db.table(create.table.text);
    if (table->tableType != 0x4e) {
        throw Error(ErrorCode::NotUpdatable,
                    "Cannot add an index to system table '" + table->name + "'.");
    }
    store::requireKnownColumnTypes(*table, db.path(), "add an index to");
    const std::string& name = create.index.text;
    requireValidName(name, "index");
    for (const auto& ix : table->indexes) {
        if (namesEqual(ix.name, name)) {
            throw Error(
                ErrorCode::IndexExists,
                "Table '" + table->name + "' already has an index named '" + ix.name + "'.");
        }
        if (create.primary && ix.primaryKey()) {
            throw Error(
                ErrorCode::PrimaryKeyExists,
                "Table '" + table->name + "' already has a primary key ('" + ix.name + "').");
        }
    }
    if (table->indexes.size() >= kMaxIndexes) {
        throw Error(ErrorCode::Unsupported, "Too many indexes on table '" + table->name + "'.");
    }
    ddl::NewIndex index;
    index.name = name;
    index.primaryKey = create.primary;
    index.unique = create.unique || create.primary;
    index.required = create.primary || create.disallowNull;
    index.ignoreNulls = create.ignoreNull;
    std::vector<ColumnDef> fields;
    for (const auto& key : create.keys) {
        const ColumnDef* c = table->findColumn(key.column.text);
        if (c == nullptr) {
            throw Error(ErrorCode::FieldNotFound,
                        "No field named '" + key.column.text + "' in table '" + table->name + "'.");
        }
        for (const auto& earlier : index.columns) {
            if (earlier.columnNumber == c->number) {
                throw Error(ErrorCode::SyntaxError,
                            "Field '" + c->name + "' is named twice in index '" + name + "'.");
            }
        }
        index.columns.push_back(IndexColumn{c->number, key.ascending});
        fields.push_back(*c);
    }
    requireBuildable(index, table->name, fields);
    db.write([&](store::WriteContext& ctx) {
        ddl::addIndex(ctx.file, ctx.format, *table, index, ctx.codePage);
        // The new index is the definition's last; it is filled from the rows already there.
        TableDef withNew = store::readTableDefinition(ctx.file, ctx.format, table->definitionPage,
                                                      table->name, ctx.codePage);
        const auto found = std::find_if(withNew.indexes.begin(), withNew.indexes.end(),
                                        [&](const IndexDef& ix) { return ix.name == name; });
        if (found == withNew.indexes.end()) {
            throw Error(ErrorCode::Corrupt, "Index '" + name + "' is not where it was written.");
        }
        TableDef only = withNew;
        only.indexes = {*found};
        index::TableIndexes tree(ctx.file, ctx.format, only);
        auto cursor = ctx.scan(*table);
        while (cursor.next()) tree.insertRow(cursor.location(), cursor.row());
        tree.finish();
    });
}

void runDropIndex(Database& db, const ast::DropIndex& drop, std::string_view) {
    const auto table = db.table(drop.table.text);
    const auto found =
        std::find_if(table->indexes.begin(), table->indexes.end(),
                     [&](const IndexDef& ix) { return namesEqual(ix.name, drop.index.text); });
    if (found == table->indexes.end()) {
        throw Error(ErrorCode::FieldNotFound,
                    "Table '" + table->name + "' has no index named '" + drop.index.text + "'.");
    }
    if (table->tableType != 0x4e) {
        throw Error(ErrorCode::NotUpdatable,
                    "Cannot delete an index of system table '" + table->name + "'.");
    }
    store::requireKnownColumnTypes(*table, db.path(), "delete an index of");
    // Relationships name indexes by number, and the numbers after this one move up.
    if (const auto rel = relationshipOf(db, *table)) {
        throw Error(ErrorCode::NotUpdatable,
                    "Cannot delete index '" + found->name + "' of table '" + table->name +
                        "': the table takes part in the relationship '" + *rel + "'.");
    }
    db.write(
        [&](store::WriteContext& ctx) { ddl::dropIndex(ctx.file, ctx.format, *table, *found); });
}

}  // namespace jet::sql
