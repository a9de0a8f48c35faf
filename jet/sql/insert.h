// INSERT INTO: new rows for one table, from VALUES or a SELECT, as one atomic write. Fields the
// statement leaves out get their default value, AutoNumbers the table's next numbers (a given
// number larger than any before moves the counter on), calculated fields their result; keys,
// indexes, relationships and validation rules are checked as for UPDATE.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "jet/ddl/index_rebuild.h"
#include "jet/index/table_indexes.h"
#include "jet/sql/ast.h"
#include "jet/sql/calculated_columns.h"
#include "jet/sql/relationships.h"
#include "jet/sql/validation_rules.h"
#include "jet/store/property_map.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"

namespace jet::sql {

// Adds rows to one table: prepared (and every refusal made) before the write, then fed rows
// inside it, one at a time, in constant memory (but for what keys and relationships must
// remember to check at the end).
class RowInserter {
public:
    // Catalog: the engine's own rows in a system table (MSysObjects, MSysACEs), which
    // statements may not add to.
    enum class Target { UserTable, Catalog };
    // `fields` are the fields each row gives values for, in order; none means every field but
    // the calculated ones. `what` names the statement in messages.
    RowInserter(Database& db, std::shared_ptr<const TableDef> table,
                const std::vector<std::string>& fields, const char* what,
                Target target = Target::UserTable);
    ~RowInserter();
    const std::vector<const ColumnDef*>& fields() const { return fields_; }

    // `many`: the caller expects many rows (an import). Into a table that holds few rows so far,
    // the indexes are then emptied and built again once the rows are in, rather than taking
    // the rows' entries one by one (ddl/index_rebuild.h).
    void begin(store::WriteContext& ctx, bool many = false);
    // One row: values for fields(), in order, converted to each field's type.
    void add(const std::vector<Value>& given);
    // The row count, the AutoNumber counter, unique keys and relationships; the rows added.
    std::uint64_t finish(store::WriteContext& ctx);

private:
    struct Defaults;
    Database& db_;
    std::shared_ptr<const TableDef> table_;
    store::PropertyMaps properties_;
    std::unique_ptr<Defaults> defaults_;
    CalculatedColumns calculated_;
    ValidationRules rules_;
    RelationshipGuard relationships_;
    std::vector<const ColumnDef*> fields_;
    std::vector<bool> required_, named_;
    store::ChangedColumns changed_;  // every column: a new row changes them all
    std::vector<Value> row_;
    std::vector<Value> none_;  // a row of Nulls, what defaults are evaluated against
    std::optional<store::TableWriter> writer_;
    std::optional<ddl::IndexRebuild> rebuild_;  // before indexes_, which may hold its table
    std::optional<index::TableIndexes> indexes_;
    std::uint32_t lastAutoNumber_ = 0;
    bool autoNumberMoved_ = false;
    std::uint64_t added_ = 0;
};

// Returns the number of rows added.
std::uint64_t runInsert(Database& db, const ast::Insert& insert, std::string_view statement);

}  // namespace jet::sql
