#include "jet/sql/write_checks.h"

#include "jet/store/names.h"

namespace jet::sql {
namespace {

// Relationship flag: the relationship is documented but not enforced.
constexpr std::int32_t kRelationNotEnforced = 0x2;

[[noreturn]] void refuse(const TableDef& table, const ColumnDef& column, const std::string& why) {
    throw Error(ErrorCode::NotUpdatable, "Cannot update '" + column.name + "'; field not "
                                         "updateable (" + why + " in table '" + table.name +
                                         "').");
}

const CatalogEntry* catalogEntry(const Database& db, const std::string& table) {
    for (const auto& e : db.catalog()) {
        if (e.type == 1 && store::namesEqual(e.name, table)) return &e;
    }
    return nullptr;
}

std::string textOf(const Value& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    return {};
}

// Relationships that name this table (and this column, when one is given) and are enforced.
std::string enforcedRelationship(const Database& db, const TableDef& table,
                                 const ColumnDef* column) {
    std::shared_ptr<const TableDef> rel;
    try {
        rel = db.table("MSysRelationships");
    } catch (const Error& e) {
        if (e.code() == ErrorCode::TableNotFound) return {};
        throw;
    }
    const auto col = [&](const char* name) -> int {
        const ColumnDef* c = rel->findColumn(name);
        return c ? c->order : -1;
    };
    const int object = col("szObject"), objectColumn = col("szColumn");
    const int referenced = col("szReferencedObject"), referencedColumn = col("szReferencedColumn");
    const int grbit = col("grbit"), name = col("szRelationship");
    if (object < 0 || referenced < 0) return {};
    auto cursor = db.scan(rel);
    while (cursor.next()) {
        const auto& row = cursor.row();
        const auto at = [&](int i) { return i < 0 ? std::string() : textOf(row[i]); };
        std::int32_t flags = 0;
        if (grbit >= 0) {
            if (auto p = std::get_if<std::int32_t>(&row[grbit])) flags = *p;
        }
        if (flags & kRelationNotEnforced) continue;
        const bool asObject = store::namesEqual(at(object), table.name) &&
                              (!column || store::namesEqual(at(objectColumn), column->name));
        const bool asReferenced =
            store::namesEqual(at(referenced), table.name) &&
            (!column || store::namesEqual(at(referencedColumn), column->name));
        if (asObject || asReferenced) return at(name).empty() ? "a relationship" : at(name);
    }
    return {};
}

}  // namespace

void requireUpdatable(const Database& db, const TableDef& table, const ColumnDef& column) {
    if (column.autoNumber || column.autoGuid) refuse(table, column, "it is an AutoNumber field");
    if (column.calculated) refuse(table, column, "it is a calculated field");
    if (column.type == ColumnType::Complex) {
        refuse(table, column, "it is an attachment or multi-value field");
    }
    for (const auto& index : table.indexes) {
        for (const auto& ic : index.columns) {
            if (ic.columnNumber == column.number) {
                refuse(table, column, "it is part of index '" + index.name +
                                          "', and changing indexed fields is not supported yet");
            }
        }
    }
    const std::string relationship = enforcedRelationship(db, table, &column);
    if (!relationship.empty()) {
        refuse(table, column, "it takes part in the enforced relationship '" + relationship +
                                  "', which is not maintained yet");
    }
}

store::PropertyMaps propertiesOf(const Database& db, const TableDef& table) {
    const CatalogEntry* entry = catalogEntry(db, table.name);
    if (entry == nullptr) return {};
    return store::parsePropertyMaps(*db.format(), entry->properties, db.codePage());
}

bool isRequired(const Database& db, const TableDef& table, const ColumnDef& column) {
    const auto maps = propertiesOf(db, table);
    const auto map = maps.find(store::foldName(column.name));
    if (map == maps.end()) return false;
    const auto required = map->second.find("Required");
    return required != map->second.end() && !required->second.data.empty() &&
           required->second.data[0] != 0;
}

void requireDeletable(const Database& db, const TableDef& table) {
    const auto refuseDelete = [&](const std::string& why) {
        throw Error(ErrorCode::Unsupported,
                    "Cannot delete from table '" + table.name + "': " + why + ".");
    };
    if (!table.indexes.empty()) {
        refuseDelete("it has indexes, and maintaining index entries is not supported yet");
    }
    for (const auto& c : table.columns) {
        if (c.type == ColumnType::Complex) refuseDelete("it has attachment or multi-value fields");
    }
    const std::string relationship = enforcedRelationship(db, table, nullptr);
    if (!relationship.empty()) {
        refuseDelete("it takes part in the enforced relationship '" + relationship + "'");
    }
}

}  // namespace jet::sql
