// Calculated columns (ACE 2010 and later) store the result of an expression over the other
// fields of their row. A statement that changes fields recomputes every calculated column that
// reads one of them, directly or through another calculated column, each after the calculated
// columns it reads. The expressions live in the table's catalog properties ("Expression").
#pragma once

#include <cstddef>
#include <vector>

#include "jet/database.h"
#include "jet/sql/evaluator.h"
#include "jet/store/changed_columns.h"
#include "jet/store/property_map.h"

namespace jet::sql {

class CalculatedColumns {
public:
    // Prepares the calculated columns of `table` that read any of the `assigned` columns (indexes
    // in the table's column order); `properties` are the table's catalog properties. Throws
    // Error naming the table and the calculated field when one of them cannot be bound, or when
    // which fields it reads cannot be told.
    CalculatedColumns(const TableDef& table, const store::PropertyMaps& properties, Version version,
                      const std::vector<std::size_t>& assigned);

    // Recomputes, from the row's new values, those whose inputs are marked changed, and marks
    // each whose stored result differs. Throws Error naming the table and the calculated field
    // when the expression cannot be computed or its result does not fit.
    void recompute(std::vector<Value>& values, store::ChangedColumns& changed) const;

    // Whether no calculated column reads the assigned columns.
    bool empty() const { return ordered_.empty(); }

private:
    struct Calculated {
        std::size_t index;
        std::vector<std::size_t> reads;  // the columns its expression names
        BoundExpression expression;
    };

    const TableDef& table_;
    Version version_;
    std::vector<Calculated> ordered_;  // each after the calculated columns it reads
};

}  // namespace jet::sql
