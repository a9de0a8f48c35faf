// A read that runs to its end (a dump, an export, a query) sees one committed state: another
// connection's commit waits for it, and a writer that waits too long is told it is being read.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/statements.h"

using jet::Database;
using testsupport::TempDir;

namespace {

std::string orders(const TempDir& dir) {
    return testsupport::manyRecords(dir, "CREATE TABLE [O] ([Id] LONG, [Qty] LONG)",
                                    "INSERT INTO [O] VALUES (1, 0)", "O", 10);
}

// Reads half the rows, lets another connection run an UPDATE, waits, reads the rest.
std::set<std::int32_t> quantitiesSeenAcrossACommit(const std::string& path, bool inTransaction) {
    auto reader = Database::open(path);
    std::optional<Database::ReadTransaction> reading;
    if (inTransaction) reading.emplace(reader->readTransaction());
    auto cursor = reader->scan(reader->table("O"));
    std::set<std::int32_t> seen;
    for (int i = 0; i < 512 && cursor.next(); ++i)
        seen.insert(std::get<std::int32_t>(cursor.row()[1]));
    auto writer = std::async(std::launch::async, [&] {
        auto db = Database::open(path);
        jet::sql::execute(*db, "UPDATE [O] SET [Qty] = [Qty] + 1");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    while (cursor.next()) seen.insert(std::get<std::int32_t>(cursor.row()[1]));
    reading.reset();
    writer.get();
    return seen;
}

TEST(ReadTransaction, AScanSeesOneCommittedStateAndTheWriterGoesOnAfterIt) {
    TempDir dir;
    const std::string path = orders(dir);
    EXPECT_EQ(quantitiesSeenAcrossACommit(path, true), (std::set<std::int32_t>{0}));
    // Without one, each row is read on its own and the commit lands in the middle.
    EXPECT_EQ(quantitiesSeenAcrossACommit(path, false), (std::set<std::int32_t>{1, 2}));
    auto db = Database::open(path);
    auto cursor = db->scan(db->table("O"));
    while (cursor.next()) ASSERT_EQ(std::get<std::int32_t>(cursor.row()[1]), 2);
}

TEST(ReadTransaction, AWriterThatWaitedTooLongIsToldTheDatabaseIsBeingRead) {
    TempDir dir;
    const std::string path = orders(dir);
    auto reader = Database::open(path);
    const auto reading = reader->readTransaction();
    auto cursor = reader->scan(reader->table("O"));
    ASSERT_TRUE(cursor.next());
    auto writer = Database::open(path);
    const jet::Error e = testsupport::errorOf(*writer, "UPDATE [O] SET [Qty] = 5");
    EXPECT_EQ(e.code(), jet::ErrorCode::Locked);
    EXPECT_NE(std::string(e.what()).find("is being read by another process or connection"),
              std::string::npos)
        << e.what();
}

}  // namespace

namespace {

// Another program changes the table's fields while this connection is open: the next statement
// works on the table as it now is, and a write planned before such a change is refused.
TEST(AnotherConnection, ChangesTheFieldsAndTheNextStatementSeesThem) {
    TempDir dir;
    const std::string path = orders(dir);
    auto mine = Database::open(path);
    ASSERT_EQ(mine->table("O")->columns.size(), 2u);
    {
        auto other = Database::open(path);
        jet::sql::execute(*other, "ALTER TABLE [O] ADD COLUMN [Note] TEXT(20)");
        jet::sql::execute(*other, "UPDATE [O] SET [Note] = 'kept'");
    }
    jet::sql::execute(*mine, "UPDATE [O] SET [Qty] = [Qty] + 1");
    EXPECT_EQ(mine->table("O")->columns.size(), 3u);
    auto rows = jet::sql::query(*mine, "SELECT [Qty], [Note] FROM [O]");
    std::size_t n = 0;
    while (rows->next()) {
        ASSERT_EQ(std::get<std::int32_t>(rows->row()[0]), 1);
        ASSERT_EQ(std::get<std::string>(rows->row()[1]), "kept");
        ++n;
    }
    EXPECT_EQ(n, 1024u);
    for (const auto& f : jet::check::checkDatabase(path)) {
        EXPECT_NE(f.severity, jet::check::Severity::Fault) << f.description;
    }

    // A change that lands between planning a write and making it.
    mine->catchUp();
    { jet::sql::execute(*Database::open(path), "UPDATE [O] SET [Qty] = 9"); }
    const jet::Error e = testsupport::errorOf([&] { mine->write([](auto&) {}); });
    EXPECT_EQ(e.code(), jet::ErrorCode::DataChanged) << e.what();
    jet::sql::execute(*mine, "UPDATE [O] SET [Qty] = [Qty] + 1");
    auto cursor = mine->scan(mine->table("O"));
    while (cursor.next()) ASSERT_EQ(std::get<std::int32_t>(cursor.row()[1]), 10);
}

}  // namespace
