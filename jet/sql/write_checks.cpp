#include "jet/sql/write_checks.h"

#include "jet/base/names.h"
#include "jet/index/table_indexes.h"

namespace jet::sql {
namespace {

[[noreturn]] void refuse(const TableDef& table, const ColumnDef& column, const std::string& why) {
    throw Error(ErrorCode::NotUpdatable, "Cannot update '" + column.name +
                                             "'; field not "
                                             "updateable (" +
                                             why + " in table '" + table.name + "').");
}

const CatalogEntry* catalogEntry(const Database& db, const std::string& table) {
    for (const auto& e : db.catalog()) {
        if (e.type == 1 && namesEqual(e.name, table)) return &e;
    }
    return nullptr;
}

}  // namespace

void requireUpdatable(const TableDef& table, const ColumnDef& column) {
    if (column.autoNumber || column.autoGuid) refuse(table, column, "it is an AutoNumber field");
    if (column.calculated) refuse(table, column, "it is a calculated field");
    if (column.type == ColumnType::Complex) {
        refuse(table, column, "it is an attachment or multi-value field");
    }
    std::vector<bool> changed(table.columns.size(), false);
    changed[column.order] = true;
    const std::string index = index::TableIndexes::unsupportedChange(table, changed);
    if (!index.empty()) refuse(table, column, index);
}

store::PropertyMaps propertiesOf(const Database& db, const TableDef& table) {
    const CatalogEntry* entry = catalogEntry(db, table.name);
    if (entry == nullptr) return {};
    try {
        return store::parsePropertyMaps(*db.format(), entry->properties, db.codePage());
    } catch (const Error& e) {
        if (e.code() != ErrorCode::Corrupt) throw;
        throw Error(ErrorCode::Corrupt, "The field properties of table '" + table.name + "' in '" +
                                            db.path() + "' are damaged: " + e.what() + ".")
            .about(db.path(), table.name);
    }
}

namespace {

bool requiredIn(const store::PropertyMaps& maps, const ColumnDef& column) {
    const auto map = maps.find(foldName(column.name));
    if (map == maps.end()) return false;
    const auto required = map->second.find("Required");
    return required != map->second.end() && !required->second.data.empty() &&
           required->second.data[0] != 0;
}

}  // namespace

bool isRequired(const Database& db, const TableDef& table, const ColumnDef& column) {
    return requiredIn(propertiesOf(db, table), column);
}

std::vector<bool> requiredFields(const Database& db, const TableDef& table) {
    const auto maps = propertiesOf(db, table);
    std::vector<bool> required(table.columns.size());
    for (const auto& c : table.columns) required[c.order] = requiredIn(maps, c);
    return required;
}

void requireUserTable(const Database& db, const TableDef& table, const char* change) {
    constexpr std::uint32_t kSystemObject = 0x80000000;
    const CatalogEntry* entry = catalogEntry(db, table.name);
    const bool msysName = table.name.size() >= 4 && namesEqual(table.name.substr(0, 4), "MSys");
    if (table.tableType != 0x4e || msysName ||
        (entry != nullptr && (entry->flags & kSystemObject))) {
        throw Error(ErrorCode::NotUpdatable, std::string("Cannot ") + change +
                                                 " records of system table '" + table.name + "'.");
    }
}

void requireDeletable(const TableDef& table) {
    const auto refuseDelete = [&](const std::string& why) {
        throw Error(ErrorCode::Unsupported,
                    "Cannot delete from table '" + table.name + "': " + why + ".");
    };
    for (const auto& c : table.columns) {
        if (c.type == ColumnType::Complex) refuseDelete("it has attachment or multi-value fields");
    }
}

}  // namespace jet::sql
