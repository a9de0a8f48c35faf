// The database procedures the wizard's steps share: the connection string for the chosen
// database, the list of its user tables, the field test and the Null default.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/list_box.h"
#include "jet/base/value.h"

namespace db {

// The string for DatabasePath and DatabasePassword of the wizard's state, read now: the ACE
// provider when the path's last five characters are "accdb" in any case, Jet otherwise. Both
// values are inserted as they are.
std::string BuildConnectionString();

// The user tables (TABLE_TYPE "TABLE") in the order of the tables rowset; nothing when no file
// is at `path`. The connection is opened for DatabasePath, which every caller passes. Failures
// go to the caller.
std::optional<std::vector<std::string>> GetTableNames(const std::string& path);

// Refills `list` with the user tables of DatabasePath and selects the first. Failures are shown
// as "Application Error" at "Access.AddTablesToAccessListbox". `path` and `password` are not
// consulted: the wizard's state is.
void AddTablesToAccessListbox(app::ListBoxControl& list, const std::string& path,
                              const std::string& password);

// Whether the query "SELECT [field] FROM [table]" opens; every failure gives false.
bool FieldExists(const std::string& table, const std::string& field);

// `defaultValue` when `value` is Null, otherwise `value`.
jet::Value NullToDefault(const jet::Value& value, const jet::Value& defaultValue);

}  // namespace db
