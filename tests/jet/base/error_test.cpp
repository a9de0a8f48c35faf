// Where an error stands: the file, table and field it concerns are parts of it, and damage met
// below the engine's face is told with them in one wording.
#include "jet/base/error.h"

#include <gtest/gtest.h>

#include <string>

namespace jet {
namespace {

TEST(ErrorPlace, DamageWithoutAFileIsToldWithTheFileAndTableOfTheRead) {
    const Error low(ErrorCode::Corrupt, "page 7 is not a data page");
    const Error read = placed(low, "/data/Orders.mdb", "Orders", Activity::Reading);
    EXPECT_EQ(read.code(), ErrorCode::Corrupt);
    EXPECT_STREQ(read.what(),
                 "Cannot read table 'Orders' of '/data/Orders.mdb': the file is damaged (page 7 "
                 "is not a data page).");
    EXPECT_EQ(read.file(), "/data/Orders.mdb");
    EXPECT_EQ(read.table(), "Orders");

    const Error whole = placed(low, "/data/Orders.mdb", {}, Activity::Reading);
    EXPECT_STREQ(whole.what(),
                 "Cannot read '/data/Orders.mdb': the file is damaged (page 7 is not a data "
                 "page).");
    EXPECT_TRUE(whole.table().empty());

    const Error change = placed(low, "/data/Orders.mdb", {}, Activity::Changing);
    EXPECT_STREQ(change.what(),
                 "Cannot change '/data/Orders.mdb': the file is damaged (page 7 is not a data "
                 "page); nothing was changed.");
}

TEST(ErrorPlace, AnErrorThatKnowsItsFileOrIsNoDamageStaysAsItIs) {
    // Placed once on the way out of a read, the error passes the write's boundary unchanged:
    // the file is known, so no second wording wraps the first.
    const Error low(ErrorCode::Corrupt, "page 7 is not a data page");
    const Error once = placed(low, "/data/a.mdb", "T", Activity::Reading);
    const Error twice = placed(once, "/data/a.mdb", {}, Activity::Changing);
    EXPECT_STREQ(twice.what(), once.what());
    EXPECT_EQ(twice.table(), "T");

    const Error named =
        Error(ErrorCode::Corrupt, "The catalog of '/data/a.mdb' is damaged.").about("/data/a.mdb");
    EXPECT_STREQ(placed(named, "/data/a.mdb", "T", Activity::Reading).what(), named.what());

    const Error refusal(ErrorCode::Overflow, "The value 70000 does not fit field 'Qty'.");
    const Error kept = placed(refusal, "/data/a.mdb", "T", Activity::Changing);
    EXPECT_STREQ(kept.what(), refusal.what());
    EXPECT_TRUE(kept.file().empty());
}

TEST(ErrorPlace, AboutFillsOnlyWhatItIsGiven) {
    Error e(ErrorCode::Overflow, "The value 70000 does not fit field 'Qty'.");
    e.about({}, {}, "Qty");
    e.about("/data/a.mdb");
    EXPECT_EQ(e.file(), "/data/a.mdb");
    EXPECT_TRUE(e.table().empty());
    EXPECT_EQ(e.field(), "Qty");
}

}  // namespace
}  // namespace jet
