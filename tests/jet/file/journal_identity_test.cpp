// A rollback journal left by a killed writer belongs to one file in one state. It is played
// back only onto that file, found by any path to it, and only while the file holds what the
// write left there (torn pages included); otherwise it is set aside and the file left alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "jet/file/page_file.h"
#include "support/fixtures.h"
#include "write_workload.h"

using jet::ErrorCode;
using jet::file::AccessMode;
using jet::file::FaultSeam;
using jet::file::PageFile;
using jet::file::SyncPoint;
using testsupport::TempDir;
using namespace writetest;
namespace fs = std::filesystem;

namespace {

constexpr int kKilled = 42;

class KillBeforeWrite : public FaultSeam {
public:
    explicit KillBeforeWrite(std::uint64_t k) : k_(k) {}
    void beforePageWrite(std::uint64_t count, std::uint32_t) override {
        if (count == k_) ::_exit(kKilled);
    }
    void beforeSync(std::uint64_t, SyncPoint) override {}

private:
    std::uint64_t k_;
};

// Runs the workload through `path` in a child killed before its k-th page write; the first
// flush writes pages 1, 8, 15, ... in that order, so k = 3 leaves page 1 written.
void killedWrite(const std::string& path, std::uint64_t k = 3) {
    const int status = inChild([&] {
        PageFile file(path, AccessMode::ReadWrite);
        openForWrite(file);
        KillBeforeWrite seam(k);
        file.setFaultSeam(&seam);
        file.beginWrite();
        changeManyPages(file);
        file.commit();
        return 0;
    });
    ASSERT_EQ(status, kKilled);
}

void overwrite(const std::string& path, std::uint64_t offset, const std::vector<std::uint8_t>& b) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::vector<fs::path> orphans(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find("-journal.orphaned-") != std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}

// The open that meets a journal not of this file fails once, names the kept journal, and
// changes nothing; the next open goes ahead.
void expectSetAsideOnce(const TempDir& dir, const std::string& path) {
    const auto bytes = fileBytes(path);
    const jet::Error e = errorOf([&] { PageFile reopened(path); });
    EXPECT_EQ(e.code(), ErrorCode::DataChanged) << e.what();
    const auto kept = orphans(dir.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_NE(std::string(e.what()).find(kept[0].string()), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("quillfen-db check"), std::string::npos) << e.what();
    EXPECT_FALSE(fs::exists(path + "-journal"));
    EXPECT_TRUE(fileBytes(path) == bytes);
    { PageFile reopened(path, AccessMode::ReadWrite); }
    EXPECT_TRUE(fileBytes(path) == bytes);
}

TEST(JournalIdentity, AnotherDatabaseCopiedOverTheFileIsNotRolledBack) {
    for (const bool sameInode : {true, false}) {
        TempDir dir;
        const std::string path = dir.copyOf(kFixture);
        killedWrite(path);
        ASSERT_TRUE(fs::exists(path + "-journal"));
        // A backup restored over it: written into the file (cp), or put in its place (mv).
        const std::string other = testsupport::fixture("jet4/indexTestV2000.mdb");
        if (sameInode) {
            std::ofstream(path, std::ios::binary | std::ios::trunc)
                << std::ifstream(other, std::ios::binary).rdbuf();
        } else {
            fs::copy_file(other, path + ".new");
            fs::permissions(path + ".new", fs::perms::owner_read | fs::perms::owner_write);
            fs::rename(path + ".new", path);
        }
        SCOPED_TRACE(sameInode ? "cp" : "mv");
        expectSetAsideOnce(dir, path);
        EXPECT_TRUE(fileBytes(path) == fileBytes(other));
    }
}

TEST(JournalIdentity, AChangeByAnotherProgramAfterTheKillIsKept) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    killedWrite(path);
    // Another program, which knows nothing of the journal, rewrites page 1.
    overwrite(path, kPageSize, patternPage(77));
    expectSetAsideOnce(dir, path);
    const auto after = fileBytes(path);
    EXPECT_TRUE(std::vector<std::uint8_t>(after.begin() + kPageSize,
                                          after.begin() + 2 * kPageSize) == patternPage(77));
}

TEST(JournalIdentity, APageTornBetweenItsOriginalAndItsNewBytesIsStillRolledBack) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const auto before = fileBytes(path);
    killedWrite(path);
    // Page 1 was written whole; a power cut could have left only its first sectors new.
    const std::vector<std::uint8_t> originalTail(before.begin() + kPageSize + 2048,
                                                 before.begin() + 2 * kPageSize);
    overwrite(path, kPageSize + 2048, originalTail);
    { PageFile reopened(path); }
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_FALSE(fs::exists(path + "-journal"));
    EXPECT_TRUE(orphans(dir.path()).empty());
}

// A page journaled as its changes, written twice (first with a few bytes changed, then with
// others and one of those again), and torn: one sector as the first version, one as the
// original, the rest as the second version. Its changes, played back newest first, restore it.
TEST(JournalIdentity, APageTornBetweenTwoVersionsOfItsChangesIsStillRolledBack) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const auto before = fileBytes(path);
    const int status = inChild([&] {
        PageFile file(path, AccessMode::ReadWrite);
        openForWrite(file);
        struct KillBeforeFileSync : FaultSeam {
            void beforePageWrite(std::uint64_t, std::uint32_t) override {}
            void beforeSync(std::uint64_t, SyncPoint point) override {
                if (point == SyncPoint::Database) ::_exit(kKilled);
            }
        } seam;
        file.setFaultSeam(&seam);
        file.beginWrite();
        changeFewBytes(file);
        file.commit();
        return 0;
    });
    ASSERT_EQ(status, kKilled);
    // Page 1 as the first flush wrote it: the workload's first change.
    std::vector<std::uint8_t> first(before.begin() + kPageSize, before.begin() + 2 * kPageSize);
    for (std::size_t k = 0; k < 5; ++k) first[100 + k * 700 + 1] ^= 0x5A;
    ASSERT_NE(fileBytes(path), before);
    overwrite(path, kPageSize, std::vector<std::uint8_t>(first.begin(), first.begin() + 512));
    overwrite(path, kPageSize + 512,
              std::vector<std::uint8_t>(before.begin() + kPageSize + 512,
                                        before.begin() + kPageSize + 1024));
    { PageFile reopened(path); }
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_FALSE(fs::exists(path + "-journal"));
    EXPECT_TRUE(orphans(dir.path()).empty());
}

TEST(JournalIdentity, AWriteKilledThroughASymbolicLinkIsFoundByEveryPath) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const auto before = fileBytes(path);
    fs::create_directory(dir.path() / "links");
    const std::string link = (dir.path() / "links" / "shop.mdb").string();
    fs::create_symlink(path, link);

    killedWrite(link);
    EXPECT_FALSE(fs::exists(link + "-journal"));
    ASSERT_TRUE(fs::exists(path + "-journal"));
    { PageFile reopened(path); }
    EXPECT_TRUE(fileBytes(path) == before);

    killedWrite(path);
    { PageFile reopened(link); }
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_FALSE(fs::exists(path + "-journal"));
}

TEST(JournalIdentity, AFileWithSeveralNamesIsReadButNotChanged) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const std::string second = (dir.path() / "second.mdb").string();
    fs::create_hard_link(path, second);
    const auto before = fileBytes(path);
    PageFile file(path, AccessMode::ReadWrite);
    openForWrite(file);
    EXPECT_EQ(file.page(1)->size(), kPageSize);
    const jet::Error e = errorOf([&] { file.beginWrite(); });
    EXPECT_EQ(e.code(), ErrorCode::ReadOnly);
    EXPECT_NE(std::string(e.what()).find("2 names (hard links)"), std::string::npos) << e.what();
    EXPECT_TRUE(fileBytes(path) == before);
}

TEST(JournalIdentity, ANamedPipeFailsAtOnce) {
    TempDir dir;
    const std::string pipe = (dir.path() / "pipe.mdb").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const auto mode : {AccessMode::ReadOnly, AccessMode::ReadWrite}) {
        const jet::Error e = errorOf([&] { PageFile file(pipe, mode); });
        EXPECT_EQ(e.code(), ErrorCode::UnrecognizedFormat);
        EXPECT_NE(std::string(e.what()).find(pipe), std::string::npos) << e.what();
    }
}

}  // namespace
