// The columns a row changes: the writers walk the list in column order whatever order the
// statement named them in, and a row's clearing leaves nothing behind for the next row.
#include "jet/store/changed_columns.h"

#include <gtest/gtest.h>

#include <vector>

namespace jet::store {
namespace {

TEST(ChangedColumns, TheListIsInColumnOrderAndAgreesWithTheFlags) {
    ChangedColumns changed(6);
    for (const std::size_t column : {4u, 1u, 4u, 3u}) changed.mark(column);
    EXPECT_EQ(changed.list(), (std::vector<std::size_t>{1, 3, 4}));
    EXPECT_EQ(changed.mask(), (std::vector<bool>{false, true, false, true, true, false}));
    EXPECT_TRUE(changed.contains(3));
    EXPECT_FALSE(changed.contains(0));

    changed.clear();
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(changed.mask(), std::vector<bool>(6, false));
    changed.mark(5);
    EXPECT_EQ(changed.list(), (std::vector<std::size_t>{5}));

    changed.markAll();
    EXPECT_EQ(changed.list(), (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace jet::store
