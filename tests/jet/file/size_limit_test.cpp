// Access opens files up to 2 GB (Access 97: 1 GB). A write that would take a file past that is
// refused before anything changes, and `check` names a file already past it. The files are
// grown sparsely with zeros: only the pages the test touches take room on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jet/check/check.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;

namespace {

void growTo(const std::string& path, std::uint64_t bytes) {
    std::filesystem::resize_file(path, bytes);
}

// The pages a fixture brings: the zeros after them are the same before and after.
std::vector<char> firstPages(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(1 << 20);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

}  // namespace

TEST(SizeLimit, AWriteThatWouldPassTheLimitIsRefusedAtExactlyTheLimit) {
    struct Case {
        const char* fixture;
        std::uint64_t limit;
        const char* named;
    };
    for (const Case c : {Case{"jet4/test2000.mdb", std::uint64_t{1} << 31, "2 GB"},
                         Case{"ace/test2010.accdb", std::uint64_t{1} << 31, "2 GB"},
                         Case{"jet3/test97.mdb", std::uint64_t{1} << 30, "1 GB"}}) {
        SCOPED_TRACE(c.fixture);
        testsupport::TempDir dir;
        const std::string path = dir.copyOf(c.fixture);
        growTo(path, c.limit);
        const auto before = firstPages(path);
        auto db = Database::open(path);
        const Error e = testsupport::errorOf(*db, "CREATE TABLE [More] ([A] LONG)");
        EXPECT_EQ(e.code(), ErrorCode::TooLarge);
        EXPECT_EQ(std::string(e.what()), "The database '" + path + "' would grow past " + c.named +
                                             ", the most that Access can open; nothing was "
                                             "changed.");
        db.reset();
        EXPECT_EQ(std::filesystem::file_size(path), c.limit);
        EXPECT_EQ(firstPages(path), before);
        // Rows that fit the pages the file has still go in.
        db = Database::open(path);
        EXPECT_EQ(testsupport::run(*db, "UPDATE [Table1] SET [D] = [D] + 1"), 2u);
    }
}

TEST(SizeLimit, CheckNamesAFileAlreadyPastTheLimit) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet3/test97.mdb");
    growTo(path, (std::uint64_t{1} << 30) + 2048);
    bool named = false;
    for (const auto& f : check::checkDatabase(path, {})) {
        if (f.kind == check::FaultKind::FileSize) {
            named = true;
            EXPECT_NE(f.description.find("1073743872 bytes"), std::string::npos) << f.description;
        }
    }
    EXPECT_TRUE(named);
}
