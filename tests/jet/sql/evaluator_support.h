// Evaluating one expression over one row of a table that has a column of every number type,
// so that evaluator tests state an expression, the fields it reads and the value it must give.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/parser.h"
#include "jet/values/decimal_math.h"

namespace jet {
// Readable values in failure messages.
inline void PrintTo(const Null&, std::ostream* os) { *os << "Null"; }
inline void PrintTo(const Currency& v, std::ostream* os) {
    *os << "Currency " << formatCurrency(v);
}
inline void PrintTo(const Decimal& v, std::ostream* os) {
    *os << "Decimal " << formatDecimal(v) << " (scale " << int(v.scale) << ")";
}
inline void PrintTo(const DateTime& v, std::ostream* os) { *os << "DateTime " << v.days; }
}  // namespace jet

namespace sqltest {

inline jet::ColumnDef column(const char* name, jet::ColumnType type, std::uint16_t size = 0) {
    jet::ColumnDef c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

// Byt Int Lng Big Sng Dbl Cur Dec(18,4) Dat Txt(10 characters) YN Memo
inline const jet::TableDef& numbersTable() {
    static const jet::TableDef table = [] {
        using jet::ColumnType;
        jet::TableDef t;
        t.name = "Numbers";
        t.columns = {column("Byt", ColumnType::Byte),     column("Int", ColumnType::Integer),
                     column("Lng", ColumnType::Long),     column("Big", ColumnType::BigInt),
                     column("Sng", ColumnType::Single),   column("Dbl", ColumnType::Double),
                     column("Cur", ColumnType::Currency), column("Dec", ColumnType::Decimal),
                     column("Dat", ColumnType::DateTime), column("Txt", ColumnType::Text, 20),
                     column("YN", ColumnType::YesNo),     column("Memo", ColumnType::Memo)};
        t.columns[7].precision = 18;
        t.columns[7].scale = 4;
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            t.columns[i].order = static_cast<std::uint16_t>(i);
        }
        return t;
    }();
    return table;
}

using Fields = std::initializer_list<std::pair<const char*, jet::Value>>;

inline std::vector<jet::Value> rowOf(Fields fields) {
    const jet::TableDef& t = numbersTable();
    std::vector<jet::Value> row(t.columns.size(), jet::Null{});
    for (const auto& [name, value] : fields) {
        row.at(static_cast<std::size_t>(t.findColumn(name) - t.columns.data())) = value;
    }
    return row;
}

inline jet::sql::BoundExpression bound(std::string_view text) {
    return jet::sql::bind(*jet::sql::parseExpression(text), numbersTable(), text);
}

inline jet::Value eval(std::string_view text, Fields fields = {}) {
    return bound(text).evaluate(rowOf(fields));
}

// The error evaluating (or binding) the expression raises; fails the test when there is none.
inline jet::Error evalError(std::string_view text, Fields fields = {}) {
    try {
        eval(text, fields);
    } catch (const jet::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error from " << text;
    return jet::Error(jet::ErrorCode::Io, "");
}

inline jet::Decimal dec(std::string_view text) { return *jet::sql::parseDecimal(text); }

}  // namespace sqltest
