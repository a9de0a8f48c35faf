// Cutting the free pages off the end of the file: a big table dropped leaves its pages free at
// the end, and they go; the file then reads the same in mdb-reader, checks clean, and grows
// again from its new end.
#include "jet/store/free_tail.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "jet/database.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/mdb_reader.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

TEST(FreeTail, TheTailADroppedTableLeavesIsCutAndTheFileStaysWhole) {
    const std::pair<const char*, const char*> fixtures[] = {
        {"jet4/delTestV2000.mdb", ""},
        {"jet3/test97.mdb", ""},
        {"encrypted/agile2010.accdb", "password"},
        {"encrypted/rc4jet4.mdb", ""}};
    for (const auto& [fixture, password] : fixtures) {
        SCOPED_TRACE(fixture);
        TempDir dir;
        const std::string path = dir.copyOf(fixture);
        const OpenOptions options{.password = password};
        auto db = Database::open(path, options);
        const auto tables = db->userTableNames();
        std::vector<ReaderTable> before;
        for (const auto& t : tables) before.push_back(readWithMdbReader(path, t, password));

        run(*db, "CREATE TABLE [Big] ([Id] LONG, [Notes] MEMO)");
        for (int i = 0; i < 24; ++i) {
            run(*db, "INSERT INTO [Big] VALUES (" + std::to_string(i) + ", '" +
                         std::string(3000, static_cast<char>('a' + i)) + "')");
        }
        run(*db, "DROP TABLE [Big]");
        const auto grown = std::filesystem::file_size(path);
        const auto cutTail = [&] {
            std::uint32_t cut = 0;
            db->write([&](store::WriteContext& c) { cut = store::cutFreeTail(c.file, c.format); });
            return cut;
        };
        const std::uint32_t cut = cutTail();
        EXPECT_GE(cut, 24u);
        EXPECT_EQ(cutTail(), 0u);
        EXPECT_EQ(std::filesystem::file_size(path),
                  grown - std::uint64_t{cut} * db->format()->pageSize);
        expectNoFaults(path, password);
        for (std::size_t i = 0; i < tables.size(); ++i) {
            const ReaderTable after = readWithMdbReader(path, tables[i], password);
            EXPECT_EQ(after.header, before[i].header);
            EXPECT_EQ(after.rows, before[i].rows) << tables[i];
        }

        // The global map still marks the pages past the new end free: the file grows again.
        run(*db, "CREATE TABLE [Next] ([Id] LONG, [Notes] MEMO)");
        run(*db, "INSERT INTO [Next] VALUES (1, '" + std::string(3000, 'z') + "')");
        expectNoFaults(path, password);
    }
}
