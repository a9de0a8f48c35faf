// Running a SELECT on one table:
//   SELECT items FROM table [WHERE condition] [ORDER BY key [ASC|DESC], ...]
// Items are *, table.*, fields and expressions with optional aliases; unaliased expressions are
// named Expr1000, Expr1001, ... as Access names them. Count(*), Count(x), Sum, Min, Max and Avg
// make an aggregate query: one row over every row that passes WHERE (no GROUP BY), in which
// fields may appear only inside an aggregate.
//
// Every name is resolved against the table's definition before any row is read, so a misspelt
// field fails at once. Rows then stream from the table one at a time; `SELECT * FROM t` with or
// without WHERE hands the stored rows out without a copy.
//
// ORDER BY keys are expressions over the table's fields, select-list aliases, or 1-based
// positions in the select list (a number literal). Sorting needs every matching row at once: an
// ordered query holds the chosen columns and keys of all matching rows in memory, so its memory
// grows with the result; unordered and aggregate queries stay in constant memory. The sort is
// stable: rows with equal keys keep the table's physical order. Nulls sort first, texts without
// regard to case.
#pragma once

#include <memory>
#include <string_view>

#include "jet/database.h"
#include "jet/sql/ast.h"
#include "jet/sql/execute.h"

namespace jet::sql {

// statement is the text select was parsed from, for quoting in errors. The result set reads
// from db and must not outlive it. Throws jet::Error for unknown tables, fields and functions
// at once; faults of evaluation (type mismatch, division by zero, ...) arise from next().
std::unique_ptr<ResultSet> runSelect(const Database& db, const ast::Select& select,
                                     std::string_view statement);

}  // namespace jet::sql
