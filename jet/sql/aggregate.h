// The aggregate functions of a SELECT without GROUP BY: Count, Sum, Min, Max and Avg over all
// rows that pass the WHERE clause, each skipping Nulls (Count(*) counts rows).
//
// Result types: Count is a Long; Sum adds as "+" does, starting from Long for the whole-number
// types and Yes/No and from Double for Single, dates and numeric text (so it widens to Double
// past Long's range); Avg is Currency, Decimal or otherwise Double; Min and Max keep their
// argument's type and compare text without regard to case. Over no rows Count is 0, the others
// Null.
#pragma once

#include <cstdint>

#include "jet/base/value.h"
#include "jet/sql/expression_node.h"

namespace jet::sql {

class Accumulator {
public:
    explicit Accumulator(AggregateKind kind) : kind_(kind) {}

    // One row's argument value (any non-Null value for Count(*)). Throws ValueFault.
    void add(const Value& v);
    Value result() const;  // throws ValueFault

private:
    AggregateKind kind_;
    std::int64_t count_ = 0;
    Value total_;  // the running sum, minimum or maximum
};

}  // namespace jet::sql
