// The two targets of `quillfen-db convert`: a new SQLite database, and a script that psql runs
// to make the same tables in PostgreSQL. The command hands each writer the plan, then every
// table's rows in turn, then asks it to finish: keys, indexes and foreign keys come after the
// rows, as loading is faster without them.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/convert_plan.h"

namespace cli::convert {

class Writer {
public:
    virtual ~Writer() = default;
    virtual void beginTable(const PlannedTable& table) = 0;
    // The row's values in the Access table's column order. Throws jet::Error naming the table
    // and field when the target cannot hold a value.
    virtual void row(const PlannedTable& table, const std::vector<jet::Value>& values) = 0;
    // `nextIdentity`: the number the table's identity column gives next.
    virtual void endTable(const PlannedTable& table, std::int64_t nextIdentity) = 0;
    virtual void finish() = 0;
};

// Writes into `path`, which must not exist yet; the file appears there only when finish() has
// succeeded.
std::unique_ptr<Writer> sqliteWriter(const Plan& plan, const std::string& path);
// Writes the script to `out`.
std::unique_ptr<Writer> postgresWriter(const Plan& plan, std::ostream& out);

// A new output file is written under a temporary name beside its own and linked to its name
// only when whole, so that the name shows either nothing or the whole file.
// Throws jet::Error(FileExists) when `path` names anything, a dangling link included.
void refuseExisting(const std::string& path);
// A new, empty file "<path>.quillfen-partial-XXXXXX" with the permissions a new file gets;
// removed if the program is interrupted (SIGINT, SIGTERM, SIGHUP, SIGQUIT) before it is
// published or discarded.
std::string temporaryBeside(const std::string& path);
// Removes a temporary file that is not to be published.
void discardTemporary(const std::string& temp);
// Syncs `temp` and links it as `path`, which must still not exist (a file that appeared there
// meanwhile is left as it is), then removes the temporary name. Throws jet::Error.
void publish(const std::string& temp, const std::string& path);

// The type of a column in the target's own words ("numeric(19,4)", "INTEGER").
std::string columnType(Target target, const jet::ColumnDef& column);

// SQL both targets read alike: `"a", "b"`; CREATE [UNIQUE] INDEX ... ON ... (...);
// FOREIGN KEY (...) REFERENCES ... (...) with the key's cascades.
std::string columnList(const PlannedTable& table, const std::vector<std::size_t>& columns);
std::vector<std::size_t> indexColumns(const PlannedIndex& index);
std::string createIndex(const PlannedTable& table, const PlannedIndex& index);
std::string foreignKeyClause(const Plan& plan, const PlannedForeignKey& key);

// The text the target keeps for a value of these types: "2024-02-29 13:05:00",
// "2024-02-29 13:05:00.1234567" (SQLite's own date form).
std::string dateText(jet::DateTime value);
std::string dateText(const jet::DateTimeExtended& value);

// A value as a field of PostgreSQL's COPY text format: \N for Null, the backslash, tab and line
// breaks escaped. Throws jet::Error for text holding a NUL character, which PostgreSQL cannot
// store; `where` names the field for that message.
std::string copyField(const jet::Value& value, const std::string& where);

}  // namespace cli::convert
