// Enforced relationships through UPDATE and DELETE, on the Access files whose Table1 points at
// Table2 (otherfk1, cascading deletes) and at Table3 (otherfk2, cascading updates): a violation
// fails naming the relationship and leaves the file byte for byte as it was; a cascade carries
// the change into Table1, its indexes included.
#include <gtest/gtest.h>

#include "jet/base/error.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

std::vector<std::int32_t> longs(const Database& db, const std::string& table, std::size_t column) {
    std::vector<std::int32_t> values;
    for (const auto& row : rowsOf(db, table)) {
        values.push_back(isNull(row[column]) ? -1 : std::get<std::int32_t>(row[column]));
    }
    return values;
}

class RelationshipsTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        path_ = dir_.copyOf(GetParam());
        db_ = Database::open(path_);
    }
    // The statement fails with `code` and a description naming `relationship`; nothing changes.
    void expectRefused(const std::string& sql, ErrorCode code, const std::string& description) {
        testsupport::expectRefused(*db_, path_, sql, code, description);
    }
    testsupport::TempDir dir_;
    std::string path_;
    std::unique_ptr<Database> db_;
};

const std::string kRequired2 =
    "You cannot add or change a record because a related record is required in table "
    "'Table2' (relationship 'Table2Table1').";
const std::string kRelated2 =
    "The record cannot be deleted or changed because table 'Table1' includes related records "
    "(relationship 'Table2Table1').";
const std::string kRelated3 =
    "The record cannot be deleted or changed because table 'Table1' includes related records "
    "(relationship 'Table3Table1').";

}  // namespace

INSTANTIATE_TEST_SUITE_P(Files, RelationshipsTest,
                         ::testing::Values("jet4/indexTestV2000.mdb", "ace/indexTestV2010.accdb"));

TEST_P(RelationshipsTest, ForeignKeysMustFindTheirRecord) {
    // Table1.otherfk1 holds 0, 1, 1, 2; Table2 has 0, 1, 2.
    expectRefused("UPDATE [Table1] SET [otherfk1] = [otherfk1] + 1",
                  ErrorCode::RelatedRecordRequired, kRequired2);
    EXPECT_EQ(run(*db_, "UPDATE [Table1] SET [otherfk1] = 2 - [otherfk1]"), 4u);
    EXPECT_EQ(longs(*db_, "Table1", 1), (std::vector<std::int32_t>{2, 1, 1, 0}));
    // A Null key points nowhere, which is allowed.
    EXPECT_EQ(run(*db_, "UPDATE [Table1] SET [otherfk1] = Null WHERE [id] = 0"), 1u);
    expectNoFaults(path_);
}

TEST_P(RelationshipsTest, KeysWithRelatedRecordsStayUnlessTheyCascade) {
    expectRefused("UPDATE [Table2] SET [id] = [id] + 10", ErrorCode::RelatedRecordsExist,
                  kRelated2);
    // Swapping two keys would give the related records another record: refused too.
    expectRefused("UPDATE [Table2] SET [id] = 2 - [id] WHERE [id] <> 1",
                  ErrorCode::RelatedRecordsExist, kRelated2);
    expectRefused("DELETE FROM [Table3] WHERE [id] = 11", ErrorCode::RelatedRecordsExist,
                  kRelated3);

    // Table3 cascades updates: Table1.otherfk2 (10, 11, 11, 13) follows, through its index.
    EXPECT_EQ(run(*db_, "UPDATE [Table3] SET [id] = [id] * 10 WHERE [id] <> 13"), 3u);
    EXPECT_EQ(longs(*db_, "Table1", 2), (std::vector<std::int32_t>{100, 110, 110, 13}));
    expectNoFaults(path_);

    // Table2 cascades deletes: the two records of Table1 pointing at 1 go with it.
    EXPECT_EQ(run(*db_, "DELETE FROM [Table2] WHERE [id] = 1"), 1u);
    EXPECT_EQ(longs(*db_, "Table1", 0), (std::vector<std::int32_t>{0, 3}));
    EXPECT_EQ(db_->table("Table1")->rowCount, 2u);
    // A key nothing points at any more may change.
    EXPECT_EQ(run(*db_, "DELETE FROM [Table1] WHERE [otherfk1] = 2"), 1u);
    EXPECT_EQ(run(*db_, "UPDATE [Table2] SET [id] = 7 WHERE [id] = 2"), 1u);
    expectNoFaults(path_);
}
