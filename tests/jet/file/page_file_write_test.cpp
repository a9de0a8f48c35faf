// The page file's write transactions: what commit and rollback leave on disk, statements that
// fail half-way, one writer at a time, read-only files, and readers sharing a file with a writer;
// pages changed in place (edit), journaled once however often they are flushed, and the misuse
// that is refused in every build.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <span>

#include "jet/database.h"
#include "jet/file/page_file.h"
#include "support/fixtures.h"
#include "write_workload.h"

using jet::ErrorCode;
using jet::file::AccessMode;
using jet::file::FaultSeam;
using jet::file::Page;
using jet::file::PageFile;
using jet::file::SyncPoint;
using testsupport::TempDir;
using namespace writetest;
using namespace std::chrono_literals;

namespace {

Page pageOf(const std::vector<std::uint8_t>& file, std::uint32_t number) {
    const auto at = file.begin() + static_cast<std::ptrdiff_t>(number) * kPageSize;
    return Page(at, at + kPageSize);
}

// Fails like a disk would: an I/O error at one page write or one kind of sync.
class FailAt : public FaultSeam {
public:
    explicit FailAt(std::uint64_t write) : write_(write) {}
    explicit FailAt(SyncPoint sync) : sync_(sync) {}
    void beforePageWrite(std::uint64_t count, std::uint32_t) override {
        if (count == write_) throw jet::Error(ErrorCode::Io, "simulated write failure");
    }
    void beforeSync(std::uint64_t, SyncPoint point) override {
        if (sync_ && point == *sync_) throw jet::Error(ErrorCode::Io, "simulated sync failure");
    }

private:
    std::uint64_t write_ = 0;
    std::optional<SyncPoint> sync_;
};

// A copy of the fixture, open for writing, and its bytes as they were.
class PageFileCopy : public ::testing::Test {
protected:
    PageFileCopy() { openForWrite(file); }

    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const std::vector<std::uint8_t> before = fileBytes(path);
    PageFile file{path, AccessMode::ReadWrite};
};
using PageFileWriteOnACopy = PageFileCopy;
using PageFileEditOnACopy = PageFileCopy;

}  // namespace

TEST(PageFileWrite, CommitLeavesTheStatementsPagesAndNoJournal) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const auto before = fileBytes(path);
    PageFile file(path, AccessMode::ReadWrite);
    ASSERT_TRUE(file.writable());
    openForWrite(file);
    file.beginWrite();
    changeManyPages(file);
    // The statement reads its own pages, flushed or still in memory.
    EXPECT_EQ(*file.page(1), patternPage(200));
    EXPECT_EQ(*file.page(2), patternPage(23));
    EXPECT_EQ(*file.page(33), patternPage(100));
    EXPECT_EQ(file.pageCount(), 43u);
    file.commit();
    EXPECT_FALSE(file.inWrite());
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));

    const auto after = fileBytes(path);
    ASSERT_EQ(after.size(), before.size() + std::size_t{10} * kPageSize);
    EXPECT_EQ(pageOf(after, 1), patternPage(200));
    EXPECT_EQ(pageOf(after, 2), patternPage(23));
    EXPECT_EQ(pageOf(after, 33), patternPage(100));
    EXPECT_EQ(pageOf(after, 34), Page(kPageSize, 0));
    EXPECT_EQ(pageOf(after, 0), pageOf(before, 0));
    EXPECT_EQ(pageOf(after, 5), pageOf(before, 5));  // no statement page lands on 5

    PageFile other(path);
    other.setPageSize(kPageSize);
    EXPECT_EQ(*other.page(2), patternPage(23));
}

TEST_F(PageFileWriteOnACopy, RollbackRestoresEveryByteAndTheSize) {
    file.beginWrite();
    changeManyPages(file);
    file.rollback();
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    EXPECT_EQ(file.pageCount(), 33u);
    EXPECT_EQ(*file.page(2), pageOf(before, 2));  // not the rolled-back page from the cache

    // A statement whose disk fails half-way is rolled back by its caller.
    FailAt failingWrite(12);
    file.setFaultSeam(&failingWrite);
    file.beginWrite();
    EXPECT_EQ(errorOf([&] { changeManyPages(file); }).code(), ErrorCode::Io);
    EXPECT_TRUE(file.inWrite());
    file.rollback();
    EXPECT_TRUE(fileBytes(path) == before);

    // A commit that cannot make the change durable rolls it back itself.
    FailAt failingSync(SyncPoint::Database);
    file.setFaultSeam(&failingSync);
    file.beginWrite();
    changeManyPages(file);
    EXPECT_EQ(errorOf([&] { file.commit(); }).code(), ErrorCode::Io);
    EXPECT_FALSE(file.inWrite());
    EXPECT_TRUE(fileBytes(path) == before);
    file.setFaultSeam(nullptr);

    // So does a connection closed in the middle of a statement.
    {
        PageFile closing(path, AccessMode::ReadWrite);
        openForWrite(closing);
        closing.beginWrite();
        changeManyPages(closing);
    }
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// Changes a page where it stands, through the page file's buffer, as a layer that changes one
// page many times does.
void editToPattern(PageFile& file, std::uint32_t number, int seed) {
    const Page pattern = patternPage(seed);
    const std::span<std::uint8_t> bytes = file.edit(number);
    std::copy(pattern.begin(), pattern.end(), bytes.begin());
}

TEST(PageFileWrite, EditedPagesAreSeenWhenReadAndWrittenAtCommit) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    PageFile file(path, AccessMode::ReadWrite);
    openForWrite(file);
    file.beginWrite();
    editToPattern(file, 9, 1);
    editToPattern(file, 9, 2);
    changeManyPages(file);                     // flushes along the way
    EXPECT_EQ(*file.page(9), patternPage(2));  // a reader sees the newest state
    editToPattern(file, 9, 3);
    editToPattern(file, 40, 4);
    file.commit();
    const auto after = fileBytes(path);
    EXPECT_EQ(pageOf(after, 9), patternPage(3));
    EXPECT_EQ(pageOf(after, 40), patternPage(4));

    // A layer that goes away holding changes it never handed over leaves a write that cannot
    // be completed: the commit fails and the file stays as it was.
    file.beginWrite();
    file.writePage(2, patternPage(9));
    file.failWrite();
    EXPECT_THROW(file.commit(), std::logic_error);
    EXPECT_FALSE(file.inWrite());
    EXPECT_TRUE(fileBytes(path) == after);
}

namespace {

// The journal's size after its header and the given records (journal.h).
std::uintmax_t journalSize(std::uintmax_t originals, std::uintmax_t versions) {
    const std::uintmax_t header = 32 + kPageSize + 8;
    const std::uintmax_t original = 8 + kPageSize + 8;
    const std::uintmax_t version = 8 + kPageSize / 512 * 8 + 8;
    return header + originals * original + versions * version;
}

}  // namespace

TEST(PageFileEdit, JournalsEachOriginalOnceWhateverTheFlushes) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const std::string journal = path + "-journal";
    const auto before = fileBytes(path);
    PageFile file(path, AccessMode::ReadWrite);
    openForWrite(file);
    file.setDirtyPageLimit(1);
    file.beginWrite();
    editToPattern(file, 3, 1);
    editToPattern(file, 3, 2);
    // Nothing has reached the disk, so there is no journal yet.
    EXPECT_FALSE(std::filesystem::exists(journal));
    editToPattern(file, 4, 3);  // flushes page 3: its original and the version written
    ASSERT_TRUE(std::filesystem::exists(journal));
    EXPECT_EQ(std::filesystem::file_size(journal), journalSize(1, 1));
    EXPECT_EQ(pageOf(fileBytes(path), 3), patternPage(2));
    editToPattern(file, 3, 4);  // flushes page 4; page 3 comes back without a second original
    EXPECT_EQ(std::filesystem::file_size(journal), journalSize(2, 2));
    editToPattern(file, 5, 5);  // flushes page 3 again: one more version, no original
    EXPECT_EQ(std::filesystem::file_size(journal), journalSize(2, 3));
    EXPECT_EQ(pageOf(fileBytes(path), 3), patternPage(4));
    file.rollback();
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_FALSE(std::filesystem::exists(journal));
}

TEST_F(PageFileEditOnACopy, TheEditedBufferIsWhatPageReturnsAndHeldBytesStayAsTheyWere) {
    file.beginWrite();
    const jet::file::PageRef held = file.page(6);  // a reader holding the page, as a scan does
    const std::span<std::uint8_t> bytes = file.edit(6);
    bytes[100] = static_cast<std::uint8_t>(bytes[100] ^ 0xFF);
    EXPECT_EQ(*held, pageOf(before, 6));  // what a reader holds does not change under it
    EXPECT_EQ((*file.page(6))[100], bytes[100]);
    EXPECT_EQ(file.page(6)->data(), bytes.data());
    // Edited again with no one holding the page: the same buffer.
    EXPECT_EQ(file.edit(6).data(), bytes.data());
    // Taken by a reader in between: a copy, with the same bytes; the reader's stay as they were.
    const jet::file::PageRef taken = file.page(6);
    const std::span<std::uint8_t> again = file.edit(6);
    EXPECT_NE(again.data(), taken->data());
    again[101] = 0x5A;
    EXPECT_EQ((*taken)[100], bytes[100]);
    EXPECT_NE((*taken)[101], 0x5A);
    EXPECT_EQ((*file.page(6))[101], 0x5A);
    file.rollback();
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_EQ(*file.page(6), pageOf(before, 6));
}

TEST_F(PageFileEditOnACopy, AFlushedBufferTakesFurtherEditsAndCommitsThemAll) {
    file.setDirtyPageLimit(2);
    file.beginWrite();
    std::span<std::uint8_t> first = file.edit(7);
    first[10] = 0x11;
    const std::uint8_t* buffer = first.data();
    const std::uint32_t added = file.appendPage();
    file.edit(added)[0] = 0x22;
    file.edit(8)[20] = 0x33;  // the dirty limit: pages 7 and the new one go to the file
    EXPECT_EQ(fileBytes(path)[std::size_t{7} * kPageSize + 10], 0x11);
    // The flushed buffer is the one edited again, its bytes as they were.
    first = file.edit(7);
    EXPECT_EQ(first.data(), buffer);
    EXPECT_EQ(first[10], 0x11);
    first[11] = 0x44;
    file.commit();

    const auto after = fileBytes(path);
    ASSERT_EQ(after.size(), before.size() + kPageSize);
    Page seven = pageOf(before, 7);
    seven[10] = 0x11;
    seven[11] = 0x44;
    EXPECT_EQ(pageOf(after, 7), seven);
    EXPECT_EQ(after[std::size_t{8} * kPageSize + 20], 0x33);
    EXPECT_EQ(after[std::size_t{added} * kPageSize], 0x22);
}

// A cut reaches the file at commit; a snapshot keeps the pages cut, changed in the write or not,
// as they were committed.
// A page the journal holds only as the changes of a flush cannot come back once the file is cut
// short of it: a write that cuts says so first, and journals whole pages.
TEST_F(PageFileEditOnACopy, ACutOfAPageJournaledAsChangesIsRefusedUnlessWholePagesWereAsked) {
    file.setDirtyPageLimit(1);
    file.beginWrite();
    file.edit(30)[200] ^= 1;
    file.edit(3)[200] ^= 1;  // flushes page 30, as a change of one byte
    EXPECT_THROW(file.truncate(20), std::logic_error);
    file.rollback();
    EXPECT_TRUE(fileBytes(path) == before);

    file.beginWrite();
    file.journalWholePages();
    file.edit(30)[200] ^= 1;
    file.edit(3)[200] ^= 1;
    file.truncate(20);
    file.rollback();
    EXPECT_TRUE(fileBytes(path) == before);
}

TEST_F(PageFileWriteOnACopy, ACutShortensTheFileAtCommitAndASnapshotKeepsThePagesCut) {
    const auto snapshot = file.takeSnapshot();
    file.beginWrite();
    file.writePage(30, patternPage(1));
    file.truncate(10);
    EXPECT_EQ(errorOf([&] { file.page(10); }).code(), ErrorCode::Corrupt);
    EXPECT_EQ(file.appendPage(), 10u);
    file.commit();
    const auto after = fileBytes(path);
    ASSERT_EQ(after.size(), std::size_t{11} * kPageSize);
    EXPECT_EQ(pageOf(after, 10), Page(kPageSize, 0));
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 10 * kPageSize, before.begin()));
    {
        PageFile::ViewScope view(file, snapshot.get());
        EXPECT_EQ(file.pageCount(), 33u);
        for (const std::uint32_t n : {10u, 20u, 30u, 32u})
            EXPECT_EQ(*file.page(n), pageOf(before, n));
    }
    EXPECT_EQ(file.pageCount(), 11u);
}

TEST_F(PageFileEditOnACopy, MisuseThatCouldReachTheFileFailsInEveryBuild) {
    // Outside a write.
    EXPECT_THROW(file.edit(3), std::logic_error);
    EXPECT_THROW(file.writePage(3, patternPage(1)), std::logic_error);
    EXPECT_THROW(file.appendPage(), std::logic_error);
    EXPECT_THROW(file.commit(), std::logic_error);
    EXPECT_THROW(file.rollback(), std::logic_error);
    EXPECT_THROW(file.truncate(20), std::logic_error);

    file.beginWrite();
    EXPECT_THROW(file.beginWrite(), std::logic_error);
    EXPECT_THROW(file.truncate(1), std::logic_error);
    EXPECT_THROW(file.truncate(34), std::logic_error);
    EXPECT_THROW(file.writePage(3, Page(kPageSize - 1)), std::logic_error);
    EXPECT_THROW(file.takeSnapshot(), std::logic_error);
    EXPECT_EQ(errorOf([&] { file.edit(0); }).code(), ErrorCode::Unsupported);
    EXPECT_EQ(errorOf([&] { file.edit(33); }).code(), ErrorCode::Corrupt);
    EXPECT_TRUE(file.inWrite());
    file.rollback();

    // A write whose flush failed half-way can only be rolled back: further changes and the
    // commit are refused, and the file is as it was.
    FailAt failingWrite(3);
    file.setFaultSeam(&failingWrite);
    file.beginWrite();
    EXPECT_EQ(errorOf([&] { changeManyPages(file); }).code(), ErrorCode::Io);
    file.setFaultSeam(nullptr);
    EXPECT_THROW(file.edit(3), std::logic_error);
    EXPECT_THROW(file.writePage(3, patternPage(1)), std::logic_error);
    EXPECT_THROW(file.appendPage(), std::logic_error);
    EXPECT_THROW(file.commit(), std::logic_error);
    EXPECT_FALSE(file.inWrite());
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

TEST(PageFileWrite, RefusesThePagesItCannotWriteSafely) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    PageFile file(path, AccessMode::ReadWrite);
    openForWrite(file);
    file.beginWrite();
    // Page 0 is cached unmasked; written back as it is, it would destroy the header.
    EXPECT_EQ(errorOf([&] { file.writePage(0, patternPage(1)); }).code(), ErrorCode::Unsupported);
    EXPECT_EQ(errorOf([&] { file.writePage(33, patternPage(1)); }).code(), ErrorCode::Corrupt);
    file.rollback();
}

TEST(PageFileLock, ASecondWriterWaitsBrieflyThenGetsLocked) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    PageFile first(path, AccessMode::ReadWrite);
    PageFile second(path, AccessMode::ReadWrite);
    openForWrite(first);
    openForWrite(second);
    second.setLockPatience(50ms);

    first.beginWrite();
    first.writePage(3, patternPage(3));
    const jet::Error e = errorOf([&] { second.beginWrite(); });
    EXPECT_EQ(e.code(), ErrorCode::Locked);
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    EXPECT_FALSE(second.inWrite());

    first.commit();
    second.beginWrite();
    EXPECT_EQ(*second.page(3), patternPage(3));
    second.rollback();
}

TEST(PageFileLock, AReadOnlyFileOpensForReadingAndRefusesWrites) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    {
        PageFile forReading(path, AccessMode::ReadOnly);
        EXPECT_FALSE(forReading.writable());
        EXPECT_EQ(errorOf([&] { forReading.beginWrite(); }).code(), ErrorCode::ReadOnly);
    }
    ::chmod(path.c_str(), 0444);
    PageFile file(path, AccessMode::ReadWrite);
    EXPECT_FALSE(file.writable());
    file.setPageSize(kPageSize);
    EXPECT_EQ(file.page(1)->size(), kPageSize);
    const jet::Error e = errorOf([&] { file.beginWrite(); });
    EXPECT_EQ(e.code(), ErrorCode::ReadOnly);
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

TEST(PageFileLock, AReaderHoldsOffAWriterOnlyDuringAReadOperation) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    PageFile reader(path);
    PageFile writer(path, AccessMode::ReadWrite);
    reader.setPageSize(kPageSize);
    reader.setLockPatience(50ms);
    openForWrite(writer);
    writer.setLockPatience(50ms);
    {
        const auto guard = reader.readGuard();
        EXPECT_EQ(*reader.page(5), pageOf(fileBytes(path), 5));  // now in the reader's cache
        EXPECT_EQ(errorOf([&] { writer.beginWrite(); }).code(), ErrorCode::Locked);
    }

    // Between operations the reader holds nothing.
    writer.beginWrite();
    for (std::uint32_t n = 1; n <= 10; ++n) writer.writePage(n, patternPage(static_cast<int>(n)));
    writer.writePage(writer.appendPage(), patternPage(77));
    // Past the dirty limit: pages are on disk under the journal, which readers must not touch.
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
    EXPECT_EQ(errorOf([&] {
                  const auto g = reader.readGuard();
                  reader.page(5);
              }).code(),
              ErrorCode::Locked);
    EXPECT_TRUE(std::filesystem::exists(path + "-journal"));
    writer.commit();

    // Within the same clock tick: the reader's cache must still see the change.
    const auto guard = reader.readGuard();
    EXPECT_EQ(*reader.page(5), patternPage(5));
    EXPECT_EQ(reader.pageCount(), 34u);
    EXPECT_EQ(*reader.page(33), patternPage(77));
}

TEST(PageFileLock, AReadGuardOpenAcrossItsOwnWriteStillHoldsOffOthersAfterwards) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    PageFile file(path, AccessMode::ReadWrite);
    PageFile other(path, AccessMode::ReadWrite);
    openForWrite(file);
    openForWrite(other);
    other.setLockPatience(50ms);
    {
        const auto guard = file.readGuard();
        file.beginWrite();
        {
            const auto inner = file.readGuard();  // nested inside the write: costs nothing
            file.writePage(2, patternPage(2));
        }
        file.commit();
        // The outer guard's read goes on, so it still keeps writers out.
        EXPECT_EQ(errorOf([&] { other.beginWrite(); }).code(), ErrorCode::Locked);
        EXPECT_EQ(*file.page(2), patternPage(2));
    }
    other.beginWrite();
    other.rollback();
}

TEST(PageFileLock, AnOpenDatabaseBetweenTwoRowsDoesNotHoldOffAWriter) {
    // The wizard keeps a preview's cursor open while its statement runs on a second connection.
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const auto db = jet::Database::open(path);
    const std::string table = db->userTableNames().at(0);
    auto cursor = db->scan(db->table(table));
    ASSERT_TRUE(cursor.next());

    PageFile writer(path, AccessMode::ReadWrite);
    openForWrite(writer);
    writer.setLockPatience(50ms);
    writer.beginWrite();
    writer.writePage(5, patternPage(5));
    writer.rollback();

    EXPECT_NO_THROW(while (cursor.next()){});
}
