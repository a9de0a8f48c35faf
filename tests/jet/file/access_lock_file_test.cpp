// Sharing a database with Access: a Jet user found in the lock file keeps every write out and
// leaves the file as it was; a user who is gone does not; while this engine writes, Access
// finds the database taken, and the lock file is gone again afterwards.
#include "jet/file/access_lock_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/file/page_file.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/simulated_jet_user.h"
#include "support/statements.h"

using jet::Database;
using jet::ErrorCode;
using jet::file::AccessLockFile;
using testsupport::SimulatedJetUser;
using testsupport::TempDir;

namespace {

constexpr const char* kUpdate = "UPDATE [O] SET [Qty] = [Qty] + 1";

class SharedWithAccess : public ::testing::Test {
protected:
    std::string orders() {
        return testsupport::madeDatabase(
            dir, {"CREATE TABLE [O] ([Id] LONG, [Qty] LONG)", "INSERT INTO [O] VALUES (1, 5)",
                  "INSERT INTO [O] VALUES (2, 7)"});
    }
    jet::Error refusedWrite() {
        const auto before = testsupport::bytesOf(path);
        auto db = Database::open(path);
        const jet::Error e = testsupport::errorOf(*db, kUpdate);
        EXPECT_EQ(testsupport::bytesOf(path), before) << "a refused write changed the file";
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
        return e;
    }
    std::string inUse(const std::string& where) const {
        return "The database '" + path + "' is open in Access " + where +
               "; close it there, then try again.";
    }

    TempDir dir;
    std::string path = orders();
    std::string lockFile = AccessLockFile::pathFor(path);
};

TEST(AccessLockFilePath, NamesTheLockFileAsAccessDoes) {
    EXPECT_EQ(AccessLockFile::pathFor("/d/Shop.mdb"), "/d/Shop.ldb");
    EXPECT_EQ(AccessLockFile::pathFor("/d/Shop.accdb"), "/d/Shop.laccdb");
    EXPECT_EQ(AccessLockFile::pathFor("/d/Shop.ACCDB"), "/d/Shop.laccdb");
    EXPECT_EQ(AccessLockFile::pathFor("/d/Shop.accde"), "/d/Shop.laccdb");
    EXPECT_EQ(AccessLockFile::pathFor("/d/Shop.mde"), "/d/Shop.ldb");
    EXPECT_EQ(AccessLockFile::pathFor("/d/Shop.v2.mdb"), "/d/Shop.v2.ldb");
    EXPECT_EQ(AccessLockFile::pathFor("/d.x/Shop"), "/d.x/Shop.ldb");
}

TEST_F(SharedWithAccess, AnAccessUserKeepsWritesOutUntilGoneAndReadsGoOn) {
    SimulatedJetUser crashed(lockFile, SimulatedJetUser::inSlot(1, "OLD-PC"));
    crashed.crash();
    SimulatedJetUser colleague(lockFile, SimulatedJetUser::inSlot(0, "ACCOUNTS-PC"));
    ASSERT_TRUE(colleague.gotItsLocks());
    const jet::Error e = refusedWrite();
    EXPECT_EQ(e.code(), ErrorCode::Locked);
    EXPECT_EQ(e.what(), inUse("on ACCOUNTS-PC (user Admin)"));
    // Every kind of write asks first, not just UPDATE.
    auto db = Database::open(path);
    for (const char* sql : {"INSERT INTO [O] VALUES (3, 1)", "DELETE FROM [O]",
                            "ALTER TABLE [O] ADD COLUMN [N] INT", "CREATE TABLE [T] ([A] INT)"}) {
        EXPECT_EQ(testsupport::errorOf(*db, sql).code(), ErrorCode::Locked) << sql;
    }
    EXPECT_EQ(testsupport::rowsOf(*db, "O").size(), 2u);
    colleague.leave();
    EXPECT_EQ(testsupport::run(*db, kUpdate), 2u);
    db.reset();
    testsupport::expectNoFaults(path);
    // Not ours to remove: Access leaves it behind to say who was in a damaged database.
    EXPECT_TRUE(std::filesystem::exists(lockFile));
}

TEST_F(SharedWithAccess, NamesThreeUsersAsTheirSlotsHoldThem) {
    // A slot locked before its names were written: named only while nobody else is.
    SimulatedJetUser early(lockFile, SimulatedJetUser::nameless(0));
    EXPECT_EQ(refusedWrite().what(), inUse("on a computer that gave no name (user unknown)"));
    // Names in the code page, not UTF-8; three named, the rest counted.
    std::vector<std::unique_ptr<SimulatedJetUser>> users;
    for (const int slot : {2, 3, 40, 254}) {
        users.push_back(std::make_unique<SimulatedJetUser>(
            lockFile, SimulatedJetUser::inSlot(slot, "B\xDCRO" + std::to_string(slot), "J\xF6rg")));
        ASSERT_TRUE(users.back()->gotItsLocks());
    }
    EXPECT_EQ(
        refusedWrite().what(),
        inUse("on B\u00DCRO2 (user J\u00F6rg), on B\u00DCRO3 (user J\u00F6rg), on B\u00DCRO40 "
              "(user J\u00F6rg) and 1 more"));
}

TEST_F(SharedWithAccess, LocksThatNoUserLockExplainsStillMeanSomeoneIsIn) {
    // A page lock of Jet's (0x20000000 on) without a user lock we know of.
    SimulatedJetUser jet(lockFile, SimulatedJetUser::holding({0x2000A601}));
    const jet::Error e = refusedWrite();
    EXPECT_EQ(e.code(), ErrorCode::Locked);
    EXPECT_EQ(e.what(), "The database '" + path +
                            "' is open in Access (another program holds locks on its lock file '" +
                            lockFile + "'); close it there, then try again.");
}

TEST_F(SharedWithAccess, AnExclusiveAccessUserKeepsReadersOutToo) {
    SimulatedJetUser owner(lockFile, SimulatedJetUser::holding({SimulatedJetUser::kExclusiveByte}));
    const jet::Error e = testsupport::errorOf([&] { Database::open(path); });
    EXPECT_EQ(e.code(), ErrorCode::Locked);
    EXPECT_EQ(e.what(), "The database '" + path +
                            "' is open exclusively in Access on another computer; close it there, "
                            "then try again.");
    owner.leave();
    EXPECT_EQ(testsupport::rowsOf(*Database::open(path), "O").size(), 2u);
}

TEST_F(SharedWithAccess, WhileThisEngineWritesAccessFindsTheDatabaseTaken) {
    jet::file::PageFile file(path, jet::file::AccessMode::ReadWrite);
    file.beginWrite();
    // Its slot, as Jet writes one.
    std::ifstream in(lockFile, std::ios::binary);
    std::string slot(64, '\0');
    ASSERT_TRUE(in.read(slot.data(), 64));
    EXPECT_EQ(slot.substr(0, 32).c_str(), AccessLockFile::computerName());
    EXPECT_EQ(std::string(slot.substr(32).c_str()), "Admin");
    // Another connection sees a user holding the database to itself...
    const jet::file::AccessUsers seen = AccessLockFile(path).look();
    ASSERT_EQ(seen.users.size(), 1u);
    EXPECT_EQ(seen.users[0].computer, AccessLockFile::computerName());
    EXPECT_TRUE(seen.exclusive);
    // ...and a Jet coming in gets no user lock, in any slot.
    for (const int slot : {0, 1, 254}) {
        SimulatedJetUser late(lockFile, SimulatedJetUser::inSlot(slot));
        EXPECT_FALSE(late.gotItsLocks()) << slot;
    }
    file.commit();
    EXPECT_FALSE(std::filesystem::exists(lockFile)) << "the last one out removes what it made";
    SimulatedJetUser later(lockFile, SimulatedJetUser::inSlot(0));
    EXPECT_TRUE(later.gotItsLocks());
}

TEST_F(SharedWithAccess, TwoOfOurOwnProcessesMeetAtTheDatabaseAsBefore) {
    int ready[2];
    int go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            jet::file::PageFile file(path, jet::file::AccessMode::ReadWrite);
            file.beginWrite();
            (void)!::write(ready[1], "w", 1);
            char c;
            (void)!::read(go[0], &c, 1);
            file.commit();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    // Opening waits for nothing: what the lock file shows is a writer of ours, not Access.
    jet::file::PageFile mine(path, jet::file::AccessMode::ReadWrite);
    mine.setLockPatience(std::chrono::milliseconds(50));
    const jet::Error e = testsupport::errorOf([&] { mine.beginWrite(); });
    EXPECT_EQ(e.code(), ErrorCode::Locked);
    EXPECT_NE(std::string(e.what()).find("in use by another process"), std::string::npos)
        << e.what();
    (void)!::write(go[1], "c", 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(testsupport::run(*Database::open(path), kUpdate), 2u);
    EXPECT_FALSE(std::filesystem::exists(lockFile));
}

// A writer of ours killed in the middle leaves its journal and a lock file nobody holds.
TEST_F(SharedWithAccess, AnUnfinishedChangeIsNotTakenBackUnderAccessFeet) {
    const auto before = testsupport::bytesOf(path);
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            jet::file::PageFile file(path, jet::file::AccessMode::ReadWrite);
            file.setDirtyPageLimit(1);
            file.beginWrite();
            for (std::uint32_t n = 1; n < 4; ++n) file.edit(n)[20] ^= 0xFF;  // some reach the disk
            ::kill(::getpid(), SIGKILL);
        } catch (...) {
            ::_exit(1);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
    const auto halfChanged = testsupport::bytesOf(path);
    ASSERT_NE(halfChanged, before);
    {
        SimulatedJetUser colleague(lockFile, SimulatedJetUser::inSlot(1, "ACCOUNTS-PC"));
        const jet::Error e = testsupport::errorOf([&] { Database::open(path); });
        EXPECT_EQ(e.what(), inUse("on ACCOUNTS-PC (user Admin)"));
        EXPECT_EQ(testsupport::bytesOf(path), halfChanged);
        EXPECT_TRUE(std::filesystem::exists(path + "-journal"));
    }
    EXPECT_TRUE(std::filesystem::exists(lockFile));
    auto db = Database::open(path);
    EXPECT_EQ(testsupport::bytesOf(path), before);
    EXPECT_EQ(testsupport::run(*db, kUpdate), 2u);
    db.reset();
    testsupport::expectNoFaults(path);
}

TEST_F(SharedWithAccess, ALockFileThatIsNotOneIsNeitherWrittenNorFollowed) {
    const std::string elsewhere = (dir.path() / "precious.txt").string();
    std::ofstream(elsewhere) << "keep me";
    const auto expectRefusedAndKept = [&](const char* what) {
        const jet::Error e = refusedWrite();
        EXPECT_EQ(e.code(), ErrorCode::ReadOnly) << what;
        EXPECT_NE(std::string(e.what()).find(lockFile), std::string::npos) << e.what();
        std::ifstream in(elsewhere);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me") << what;
        // Reading is not the lock file's business.
        EXPECT_EQ(testsupport::rowsOf(*Database::open(path), "O").size(), 2u) << what;
    };
    std::filesystem::create_symlink(elsewhere, lockFile);
    expectRefusedAndKept("a symbolic link");
    std::filesystem::remove(lockFile);
    std::filesystem::create_hard_link(elsewhere, lockFile);
    expectRefusedAndKept("a second name of another file");
    std::filesystem::remove(lockFile);
    std::filesystem::create_directory(lockFile);
    expectRefusedAndKept("a folder");
    std::filesystem::remove(lockFile);
    std::ofstream(lockFile) << std::string(100, 'x');  // not whole slots
    expectRefusedAndKept("a file of another kind");
    EXPECT_EQ(std::filesystem::file_size(lockFile), 100u);
}

TEST(AccessLockFileOfItsOwn, ADatabaseNamedLikeALockFileIsNotWrittenAsOne) {
    const TempDir dir;
    const std::string made = testsupport::madeDatabase(dir, {"CREATE TABLE [O] ([Id] LONG)"});
    const std::string path = (dir.path() / "odd.ldb").string();
    std::filesystem::rename(made, path);
    const auto before = testsupport::bytesOf(path);
    auto db = Database::open(path);
    EXPECT_EQ(testsupport::errorOf(*db, "INSERT INTO [O] VALUES (1)").code(), ErrorCode::ReadOnly);
    EXPECT_EQ(testsupport::bytesOf(path), before);
}

}  // namespace
