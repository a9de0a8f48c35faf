// Cascades that cascade again: three tables made with CREATE TABLE in a copy of a real file,
// Orders <- Lines <- Notes, related in MSysRelationships as Access relates them. A record deleted
// or re-keyed at the top carries the change down the chain, each table kept by its own
// relationship's rules; one that refuses anywhere fails the statement and leaves the file byte for
// byte as it was, and so does a cascade that would come round a circle of relationships.
#include <gtest/gtest.h>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/index/table_indexes.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

// MSysRelationships.grbit
constexpr std::int32_t kRestrict = 0;
constexpr std::int32_t kCascadeUpdates = 0x100;
constexpr std::int32_t kCascadeDeletes = 0x1000;
constexpr std::int32_t kCascadeNulls = 0x2000;
constexpr std::int32_t kCascades = kCascadeUpdates | kCascadeDeletes;

// Writes the rows of a relationship into MSysRelationships, one per pair of fields, as Access
// keeps them: `referencing`'s `foreign` fields point at `referenced`'s `keys`.
void relate(Database& db, const std::string& name, const std::string& referenced,
            const std::vector<std::string>& keys, const std::string& referencing,
            const std::vector<std::string>& foreign, std::int32_t grbit) {
    const auto rel = db.table("MSysRelationships");
    db.write([&](store::WriteContext& ctx) {
        store::TableWriter writer(ctx.file, ctx.format, *rel, ctx.codePage);
        index::TableIndexes indexes(ctx.file, ctx.format, *rel);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            std::vector<Value> row(rel->columns.size());
            const auto set = [&](const char* column, Value v) {
                row[rel->findColumn(column)->order] = std::move(v);
            };
            set("ccolumn", static_cast<std::int32_t>(keys.size()));
            set("grbit", grbit);
            set("icolumn", static_cast<std::int32_t>(i));
            set("szColumn", foreign[i]);
            set("szObject", referencing);
            set("szReferencedColumn", keys[i]);
            set("szReferencedObject", referenced);
            set("szRelationship", name);
            indexes.insertRow(writer.insertRow(row), row);
        }
        writer.adjustRowCount(static_cast<std::int64_t>(keys.size()));
        indexes.finish();
    });
}

// Orders (Id) <- Lines (OrderId, Line) <- Notes (OrderId, Line): the key of Lines holds its
// order's, so a new order number reaches the notes too.
class CascadeChain : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        path_ = dir_.copyOf(GetParam());
        db_ = Database::open(path_);
        run(*db_, "CREATE TABLE [Orders] ([Id] LONG PRIMARY KEY, [Customer] TEXT(20))");
        run(*db_,
            "CREATE TABLE [Lines] ([OrderId] LONG, [Line] SHORT, [Qty] LONG, "
            "CONSTRAINT [PrimaryKey] PRIMARY KEY ([OrderId], [Line]))");
        run(*db_,
            "CREATE TABLE [Notes] ([Id] COUNTER PRIMARY KEY, [OrderId] LONG, [Line] SHORT, "
            "[Text] TEXT(40))");
        run(*db_, "CREATE INDEX [ByLine] ON [Notes] ([OrderId], [Line])");
        for (int order = 1; order <= 3; ++order) {
            const std::string o = std::to_string(order);
            run(*db_, "INSERT INTO [Orders] ([Id], [Customer]) VALUES (" + o + ", 'c" + o + "')");
            for (int line = 1; line <= 2; ++line) {
                const std::string l = std::to_string(line);
                run(*db_, "INSERT INTO [Lines] ([OrderId], [Line], [Qty]) VALUES (" + o + ", " + l +
                              ", " + o + l + ")");
                run(*db_, "INSERT INTO [Notes] ([OrderId], [Line], [Text]) VALUES (" + o + ", " +
                              l + ", 'note " + o + "." + l + "')");
            }
        }
    }
    void relateChain(std::int32_t linesToOrders, std::int32_t notesToLines) {
        relate(*db_, "OrdersLines", "Orders", {"Id"}, "Lines", {"OrderId"}, linesToOrders);
        relate(*db_, "LinesNotes", "Lines", {"OrderId", "Line"}, "Notes", {"OrderId", "Line"},
               notesToLines);
    }
    // The statement fails with `code` and `description`; the file stays as it was.
    void expectRefused(const std::string& sql, ErrorCode code, const std::string& description) {
        testsupport::expectRefused(*db_, path_, sql, code, description);
    }
    // The notes as mdb-export reads them: order, line and text, one line each.
    std::string exportedNotes() {
        db_.reset();
        const std::string csv =
            commandOutput("mdb-export -H -d '|' -Q '" + path_ + "' Notes | cut -d'|' -f2-");
        db_ = Database::open(path_);
        return csv;
    }
    testsupport::TempDir dir_;
    std::string path_;
    std::unique_ptr<Database> db_;
};

const std::string kNotesRefuse =
    "The record cannot be deleted or changed because table 'Notes' includes related records "
    "(relationship 'LinesNotes').";

}  // namespace

INSTANTIATE_TEST_SUITE_P(Files, CascadeChain,
                         ::testing::Values("jet4/empty2000.mdb", "ace/empty2010.accdb",
                                           "jet3/test97.mdb"));

TEST_P(CascadeChain, DeletesAndNewKeysReachTheThirdTable) {
    relateChain(kCascades, kCascades);
    EXPECT_EQ(run(*db_, "DELETE FROM [Orders] WHERE [Id] = 2"), 1u);
    EXPECT_EQ(db_->table("Lines")->rowCount, 4u);
    EXPECT_EQ(db_->table("Notes")->rowCount, 4u);
    EXPECT_EQ(run(*db_, "UPDATE [Orders] SET [Id] = [Id] * 10 WHERE [Id] = 3"), 1u);
    EXPECT_EQ(exportedNotes(), "1|1|note 1.1\n1|2|note 1.2\n30|1|note 3.1\n30|2|note 3.2\n");
    expectNoFaults(path_);
    // The notes' index follows the new keys.
    EXPECT_EQ(run(*db_, "DELETE FROM [Notes] WHERE [OrderId] = 30 AND [Line] = 2"), 1u);
    EXPECT_EQ(run(*db_, "DELETE FROM [Orders] WHERE [Id] = 30"), 1u);
    EXPECT_EQ(exportedNotes(), "1|1|note 1.1\n1|2|note 1.2\n");
    expectNoFaults(path_);
}

TEST_P(CascadeChain, ARelationshipThatDoesNotCascadeStopsTheWholeStatement) {
    relateChain(kCascades, kRestrict);
    expectRefused("DELETE FROM [Orders] WHERE [Id] = 2", ErrorCode::RelatedRecordsExist,
                  kNotesRefuse);
    expectRefused("UPDATE [Orders] SET [Id] = 20 WHERE [Id] = 2", ErrorCode::RelatedRecordsExist,
                  kNotesRefuse);
    // Without notes the lines may go, and their order with them.
    EXPECT_EQ(run(*db_, "DELETE FROM [Notes] WHERE [OrderId] = 2"), 2u);
    EXPECT_EQ(run(*db_, "UPDATE [Orders] SET [Id] = 20 WHERE [Id] = 2"), 1u);
    EXPECT_EQ(run(*db_, "DELETE FROM [Orders] WHERE [Id] = 20"), 1u);
    EXPECT_EQ(db_->table("Lines")->rowCount, 4u);
    expectNoFaults(path_);
}

TEST_P(CascadeChain, DeletedLinesLeaveTheirNotesWithoutALine) {
    relateChain(kCascadeDeletes, kCascadeNulls);
    EXPECT_EQ(run(*db_, "DELETE FROM [Orders] WHERE [Id] = 1"), 1u);
    EXPECT_EQ(exportedNotes(),
              "||note 1.1\n||note 1.2\n2|1|note 2.1\n2|2|note 2.2\n"
              "3|1|note 3.1\n3|2|note 3.2\n");
    expectNoFaults(path_);
}

// A record that one cascade deletes does not hold back another: the checks come after every
// cascade, whichever relationship the file lists first.
TEST_P(CascadeChain, ChecksComeAfterEveryCascade) {
    relate(*db_, "LinesNotes", "Lines", {"OrderId", "Line"}, "Notes", {"OrderId", "Line"},
           kRestrict);
    relate(*db_, "OrdersLines", "Orders", {"Id"}, "Lines", {"OrderId"}, kCascadeDeletes);
    relate(*db_, "OrdersNotes", "Orders", {"Id"}, "Notes", {"OrderId"}, kCascadeDeletes);
    EXPECT_EQ(run(*db_, "DELETE FROM [Orders] WHERE [Id] <> 2"), 2u);
    EXPECT_EQ(exportedNotes(), "2|1|note 2.1\n2|2|note 2.2\n");
    expectNoFaults(path_);
}

// Orders -> Lines -> Notes -> Orders: a cascade that would come back to a table it changed is
// refused, naming the tables; one that reaches no record there runs.
TEST_P(CascadeChain, ACircleOfRelationshipsIsRefused) {
    run(*db_, "ALTER TABLE [Orders] ADD COLUMN [FirstNote] LONG");
    relateChain(kCascades, kCascades);
    relate(*db_, "NotesOrders", "Notes", {"Id"}, "Orders", {"FirstNote"}, kCascadeDeletes);
    run(*db_, "UPDATE [Orders] SET [FirstNote] = 1 WHERE [Id] = 3");  // order 1's first note
    expectRefused("DELETE FROM [Orders] WHERE [Id] = 1", ErrorCode::Unsupported,
                  "Cannot keep the relationship 'NotesOrders': its cascade would come back to a "
                  "table it has already changed ('Orders' -> 'Lines' -> 'Notes' -> 'Orders'); "
                  "cascades around a circle of relationships are not followed, and nothing was "
                  "changed.");
    EXPECT_EQ(run(*db_, "DELETE FROM [Orders] WHERE [Id] = 2"), 1u);
    EXPECT_EQ(db_->table("Notes")->rowCount, 4u);
    expectNoFaults(path_);
}

// Seven tables each cascading deletes into every other: the ways a cascade could run are too
// many to follow, and the statement says so instead of working through them.
TEST(CascadeWeb, TooManyWaysAreRefusedBeforeAnyWrite) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/empty2000.mdb");
    auto db = Database::open(path);
    constexpr int kTables = 7;
    for (int t = 0; t < kTables; ++t) {
        std::string sql = "CREATE TABLE [T" + std::to_string(t) + "] ([Id] LONG PRIMARY KEY";
        for (int o = 0; o < kTables; ++o) sql += ", [To" + std::to_string(o) + "] LONG";
        run(*db, sql + ")");
        run(*db, "INSERT INTO [T" + std::to_string(t) + "] ([Id]) VALUES (1)");
    }
    for (int t = 0; t < kTables; ++t) {
        for (int o = 0; o < kTables; ++o) {
            if (o == t) continue;
            const std::string from = "T" + std::to_string(t), to = "T" + std::to_string(o);
            relate(*db, from + to, to, {"Id"}, from, {"To" + std::to_string(o)}, kCascadeDeletes);
        }
    }
    expectRefused(*db, path, "DELETE FROM [T0]", ErrorCode::Unsupported,
                  "The relationships of table 'T0' cascade along more ways than this engine "
                  "follows (more than 1000); nothing was changed.");
    // A web in which no cascade reaches a second table is kept as ever.
    EXPECT_EQ(run(*db, "UPDATE [T0] SET [To1] = Null"), 1u);
    expectNoFaults(path);
}
