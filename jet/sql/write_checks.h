// What a statement may not change, checked before anything is written: fields the engine cannot
// keep consistent yet, and fields Access itself never lets a statement set.
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/store/property_map.h"

namespace jet::sql {

// Throws jet::Error naming the field when a statement may not assign to `column`.
void requireUpdatable(const TableDef& table, const ColumnDef& column);

// The catalog properties of the table and its columns (none for a table without an entry).
store::PropertyMaps propertiesOf(const Database& db, const TableDef& table);

// Whether the field's Required property forbids Null.
bool isRequired(const Database& db, const TableDef& table, const ColumnDef& column);
// The same for every field of the table, by column order, reading the properties once.
std::vector<bool> requiredFields(const Database& db, const TableDef& table);

// Throws when rows of `table` may not be deleted.
void requireDeletable(const TableDef& table);

// Throws naming the table when `table` is a system table, whose records no statement may
// change: a table of the engine's own kind, one the catalog flags as a system object, or one
// whose name begins with "MSys". (Access lets a user edit a few of them, such as its saved
// import settings; refusing them all keeps the catalog whole.) `change` says what was refused:
// "update" or "delete".
void requireUserTable(const Database& db, const TableDef& table, const char* change);

}  // namespace jet::sql
