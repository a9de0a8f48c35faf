// A write that would change keys in a sort order this engine does not build names the order.
#include <gtest/gtest.h>

#include "jet/format/sort_orders.h"
#include "jet/index/table_indexes.h"

namespace jet {
namespace {

TEST(SortOrderMessage, NamesTheOrderByNumberAndName) {
    TableDef table;
    ColumnDef name;
    name.name = "Namn";
    name.type = ColumnType::Text;
    name.sortOrder = 1053;
    table.columns.push_back(name);
    IndexDef ix;
    ix.name = "Namn";
    ix.columns.push_back({0, true});
    table.indexes.push_back(ix);
    EXPECT_EQ(index::TableIndexes::unsupportedChange(table, {true}),
              "it is part of index 'Namn', and changing index keys that hold Text fields in "
              "sort order 1053 (Swedish/Finnish), version 0 is not supported yet");
    // An Access 97 column names its order by sort order and code page.
    table.columns[0].jet3 = true;
    table.columns[0].sortOrder = 1033;
    table.columns[0].codePage = 1251;
    EXPECT_EQ(index::TableIndexes::unsupportedChange(table, {true}),
              "it is part of index 'Namn', and changing index keys that hold Text fields in "
              "sort order 1033 (General) and code page 1251 is not supported yet");
    EXPECT_EQ(describeSortOrder(1049), "sort order 1049 (Cyrillic)");
    EXPECT_EQ(describeSortOrder(9999), "sort order 9999");
}

}  // namespace
}  // namespace jet
