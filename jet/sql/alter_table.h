// ALTER TABLE: a field added to a table (Null in every row it already has; an AutoNumber numbers
// them 1, 2, 3 ... in the order a scan meets them) or taken out of it.
#pragma once

#include <string_view>

#include "jet/database.h"
#include "jet/ddl/table_definition_writer.h"
#include "jet/sql/ast.h"
#include "jet/store/property_map.h"

namespace jet::sql {

void runAlterTable(Database& db, const ast::AlterTable& alter, std::string_view statement);

// The column a DDL type name makes (INT, TEXT(50), DECIMAL(18, 4), ...) in a file of this
// version, for a new table or for one added to a table. Throws Error(SyntaxError) for a name
// Access does not know or parameters it does not take.
ddl::NewColumn columnForType(const ast::DataType& type, Version version);

// Throws Error(SyntaxError) for a name Access does not take for an object: empty, longer than
// 64 characters, starting with a space, or holding . ! ` [ ] or a control character. `what` is
// "table", "field" or "index", as the message names it.
void requireValidName(const std::string& name, const char* what);

// The properties NOT NULL and DEFAULT give a field (Required, DefaultValue); none for neither.
std::vector<store::NewProperty> fieldProperties(bool notNull, const std::string& defaultValue);

// The sort order new text fields take: that of the catalog's own names, as Access does.
ddl::Collation catalogCollation(const Database& db);

}  // namespace jet::sql
