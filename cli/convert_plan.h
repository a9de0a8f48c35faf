// What `quillfen-db convert` makes of an Access database in SQLite or PostgreSQL: the tables
// with their columns, keys, indexes and foreign keys under the target's names, and the notes
// that list what was renamed, stored another way or left out.
//
// Attachment and multi-value fields become child tables. The Access table keeps the field as
// an integer (the record's complex id, as `dump` shows it), and the field's hidden flat table
// is copied as "<table>_<field>", its "_<field>" column a foreign key to that integer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "jet/database.h"

namespace cli::convert {

enum class Target { SQLite, PostgreSQL };

// Names unique in one scope of the target, compared without regard to ASCII case. PostgreSQL
// cuts a name at 63 bytes; a longer one is shortened here, with a hash of the whole name, so
// that two long names that begin alike stay apart.
class NameScope {
public:
    explicit NameScope(std::size_t maxBytes = 0) : maxBytes_(maxBytes) {}
    // `wanted`, or the nearest free name to it.
    std::string take(const std::string& wanted);
    // Marks a name as used without taking it for anything of ours (SQLite's own tables).
    void reserve(const std::string& name);

private:
    bool free(const std::string& name) const;
    std::size_t maxBytes_;
    std::set<std::string> taken_;
};

struct PlannedColumn {
    const jet::ColumnDef* source = nullptr;
    std::string name;
    bool notNull = false;
    bool identity = false;  // an AutoNumber the target numbers on
};

struct PlannedIndex {
    std::string name;
    std::vector<std::pair<std::size_t, bool>> columns;  // column in the table, ascending
    bool primaryKey = false;
    bool unique = false;
};

struct PlannedTable {
    std::string name;
    // The table read: a user table, or a field's flat table.
    std::shared_ptr<const jet::TableDef> def;
    std::vector<PlannedColumn> columns;  // in the Access table's column order
    std::vector<PlannedIndex> indexes;
    std::optional<std::size_t> identity;  // the column numbered by the target
    std::int64_t nextIdentity = 1;        // what Access gives the next record
};

struct PlannedForeignKey {
    std::string name;
    std::size_t table = 0;  // the referencing table
    std::vector<std::size_t> columns;
    std::size_t referencedTable = 0;
    std::vector<std::size_t> referencedColumns;
    bool cascadeUpdates = false;
    bool cascadeDeletes = false;
    bool cascadeNulls = false;
};

struct Plan {
    std::vector<PlannedTable> tables;
    std::vector<PlannedForeignKey> foreignKeys;
    std::vector<std::string> notes;
};

// Throws jet::Error(TableNotFound) for a table in `only` that the database lacks; an empty
// `only` means every user table.
Plan makePlan(const jet::Database& db, Target target, const std::vector<std::string>& only);

// The target's text for a name: between double quotes, a double quote doubled.
std::string quoted(const std::string& name);

}  // namespace cli::convert
