// Running SQL text against a database. The text is lexed and parsed as it is; nothing rewrites it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"

namespace jet::sql {

struct ResultColumn {
    std::string name;
    ColumnType type = ColumnType::Long;
};

// Rows of a SELECT, streamed.
class ResultSet {
public:
    virtual ~ResultSet() = default;
    virtual const std::vector<ResultColumn>& columns() const = 0;
    virtual bool next() = 0;                            // false at the end
    virtual const std::vector<Value>& row() const = 0;  // values in columns() order
};

// What running one statement gave: the rows of a SELECT, or the number of rows an UPDATE or
// DELETE matched.
struct Outcome {
    std::unique_ptr<ResultSet> rows;  // null for statements that return no rows
    std::optional<std::uint64_t> rowsAffected;
};

// Runs one statement; each statement that changes the database is one atomic write. Throws
// jet::Error: SyntaxError for text it cannot parse, TableNotFound / FieldNotFound naming the
// table or field, and the errors of evaluating and storing values. A result set reads through
// `db` and must not outlive it.
Outcome execute(Database& db, std::string_view statement);

// Runs a statement that only reads, such as a SELECT; throws Error(ReadOnly) for one that would
// change the database.
std::unique_ptr<ResultSet> query(const Database& db, std::string_view statement);

}  // namespace jet::sql
