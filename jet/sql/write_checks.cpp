#include "jet/sql/write_checks.h"

#include "jet/index/table_indexes.h"
#include "jet/store/field_codec.h"
#include "jet/store/names.h"
#include "jet/store/property_map.h"

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
    std::vector<bool> changed(table.columns.size(), false);
    changed[column.order] = true;
    const std::string index = index::TableIndexes::unsupportedChange(table, changed);
    if (!index.empty()) refuse(table, column, index);
    // A calculated field stores its result; changing a field it is computed from would leave
    // that result stale.
    const bool anyCalculated = std::any_of(table.columns.begin(), table.columns.end(),
                                           [](const ColumnDef& c) { return c.calculated; });
    if (anyCalculated) {
        if (const CatalogEntry* entry = catalogEntry(db, table.name)) {
            const auto maps = store::parsePropertyMaps(*db.format(), entry->properties,
                                                       db.codePage());
            const std::string wanted = store::foldName(column.name);
            for (const auto& c : table.columns) {
                if (!c.calculated) continue;
                const auto map = maps.find(store::foldName(c.name));
                if (map == maps.end()) continue;
                const auto expr = map->second.find("Expression");
                if (expr == map->second.end()) continue;
                const std::string text = store::foldName(store::decodeUnicodeText(expr->second.data));
                if (text.find(wanted) != std::string::npos) {
                    refuse(table, column,
                           "calculated field '" + c.name + "' is computed from it, and "
                           "recomputing calculated fields is not supported yet");
                }
            }
        }
    }
    const std::string relationship = enforcedRelationship(db, table, &column);
    if (!relationship.empty()) {
        refuse(table, column, "it takes part in the enforced relationship '" + relationship +
                                  "', which is not maintained yet");
    }
}

bool isRequired(const Database& db, const TableDef& table, const ColumnDef& column) {
    const CatalogEntry* entry = catalogEntry(db, table.name);
    if (entry == nullptr) return false;
    const auto maps = store::parsePropertyMaps(*db.format(), entry->properties, db.codePage());
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
    for (const auto& c : table.columns) {
        if (c.type == ColumnType::Complex) refuseDelete("it has attachment or multi-value fields");
    }
    const std::string relationship = enforcedRelationship(db, table, nullptr);
    if (!relationship.empty()) {
        refuseDelete("it takes part in the enforced relationship '" + relationship + "'");
    }
}

}  // namespace jet::sql
