// ALTER TABLE on definitions over several pages: fields with long names added and filled until
// a table's definition continues on a second and a third page, then dropped until it fits where
// it started, on tables Access wrote on one page and on two; and a disk that fails at any page
// write of an ADD that takes a new page, or of the DROP that gives it back, which leaves the
// file as it was.
#include <gtest/gtest.h>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/file/fault_seam.h"
#include "jet/store/table_definition_pages.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

// 64 characters, the longest Access allows: 128 bytes of name in the definition.
std::string longName(std::size_t n) {
    std::string name = "Field " + std::to_string(n) + " ";
    name.resize(64, 'x');
    return name;
}

std::size_t definitionPageCount(const Database& db, const std::string& table) {
    file::PageFile file(db.path());
    file.setPageSize(db.format()->pageSize);
    return store::definitionPages(file, db.table(table)->definitionPage).size();
}

std::vector<std::string> columnNames(const Database& db, const std::string& table) {
    std::vector<std::string> names;
    for (const auto& c : db.table(table)->columns) names.push_back(c.name);
    return names;
}

struct Case {
    const char* fixture;
    const char* table;
};

class DefinitionOverPages : public ::testing::TestWithParam<Case> {};

// Each row: the original values, then field k holding k + 1.
void expectRows(const Database& db, const Case& c, const std::vector<std::vector<Value>>& original,
                std::size_t added) {
    const auto rows = rowsOf(db, c.table);
    ASSERT_EQ(rows.size(), original.size());
    const std::size_t kept = original.empty() ? 0 : original.front().size();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), kept + added);
        EXPECT_EQ(std::vector<Value>(rows[r].begin(), rows[r].begin() + kept), original[r]);
        for (std::size_t k = 0; k < added; ++k) {
            EXPECT_EQ(rows[r][kept + k], Value(static_cast<std::int32_t>(k + 1))) << r << " " << k;
        }
    }
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Files, DefinitionOverPages,
                         ::testing::Values(Case{"jet4/test2000.mdb", "Table1"},
                                           Case{"ace/test2010.accdb", "Table1"},
                                           Case{"jet4/test2V2000.mdb", "MSP_PROJECTS"},
                                           Case{"ace/test2V2010.accdb", "MSP_PROJECTS"}));

TEST_P(DefinitionOverPages, FieldsAddedOntoNewPagesAndDroppedBack) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string path = dir.copyOf(c.fixture);
    auto db = Database::open(path);
    const std::string T = std::string("[") + c.table + "]";
    const auto original = rowsOf(*db, c.table);
    const auto originalNames = columnNames(*db, c.table);
    const std::size_t startPages = definitionPageCount(*db, c.table);

    std::vector<std::string> added;
    for (std::size_t pages = startPages; pages < startPages + 2;) {
        const std::string name = longName(added.size());
        SCOPED_TRACE(name);
        run(*db, "ALTER TABLE " + T + " ADD COLUMN [" + name + "] INT");
        added.push_back(name);
        run(*db, "update " + T + " set [" + name + "]=" + std::to_string(added.size()));
        expectNoFaults(path);
        expectRows(*db, c, original, added.size());
        pages = definitionPageCount(*db, c.table);
        ASSERT_LT(added.size(), 200u) << "the definition should have grown onto new pages";
    }
    // A fresh reader sees the same.
    db = Database::open(path);
    expectRows(*db, c, original, added.size());

    while (!added.empty()) {
        SCOPED_TRACE(added.back());
        run(*db, "ALTER TABLE " + T + " DROP [" + added.back() + "]");
        added.pop_back();
        expectNoFaults(path);
        expectRows(*db, c, original, added.size());
    }
    EXPECT_EQ(definitionPageCount(*db, c.table), startPages);
    EXPECT_EQ(columnNames(*db, c.table), originalNames);
    EXPECT_EQ(rowsOf(*db, c.table), original);
}

namespace {

// A disk that fails at one page write.
class FailingWrite : public file::FaultSeam {
public:
    explicit FailingWrite(std::uint64_t k) : k_(k) {}
    void beforePageWrite(std::uint64_t count, std::uint32_t) override {
        if (count == k_) throw Error(ErrorCode::Io, "simulated write failure");
    }
    void beforeSync(std::uint64_t, file::SyncPoint) override {}

private:
    std::uint64_t k_;
};

// Fails the statement at its k-th page write for k = 1, 2, ... until it runs through: every
// failure must leave the file byte for byte as it was.
void failAtEveryWrite(const std::string& path, const std::string& sql) {
    const auto before = bytesOf(path);
    for (std::uint64_t k = 1;; ++k) {
        FailingWrite seam(k);
        OpenOptions options;
        options.faultSeam = &seam;
        options.dirtyPageLimit = 2;  // pages reach the file while the statement runs
        auto db = Database::open(path, options);
        try {
            run(*db, sql);
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::Io) << k << ": " << e.what();
            EXPECT_TRUE(bytesOf(path) == before) << sql << " failing at write " << k;
            continue;
        }
        EXPECT_GT(k, 3u) << "the statement should write several pages";
        return;
    }
}

}  // namespace

TEST(AlterTableOverPages, AFailedWriteLeavesTheFileAsItWas) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/test2000.mdb");
    std::string name;  // the field whose ADD takes the definition onto a second page
    {
        auto db = Database::open(path);
        for (std::size_t n = 0; definitionPageCount(*db, "Table1") == 1; ++n) {
            name = longName(n);
            run(*db, "ALTER TABLE [Table1] ADD COLUMN [" + name + "] INT");
        }
        run(*db, "ALTER TABLE [Table1] DROP [" + name + "]");
        ASSERT_EQ(definitionPageCount(*db, "Table1"), 1u);
    }
    failAtEveryWrite(path, "ALTER TABLE [Table1] ADD COLUMN [" + name + "] INT");
    auto db = Database::open(path);
    EXPECT_EQ(definitionPageCount(*db, "Table1"), 2u);
    db.reset();
    failAtEveryWrite(path, "ALTER TABLE [Table1] DROP [" + name + "]");
    db = Database::open(path);
    EXPECT_EQ(definitionPageCount(*db, "Table1"), 1u);
    expectNoFaults(path);
}

// Bytes inside the recorded length past the closing 0xFFFF are something this engine does not
// know: it changes no field of such a table rather than move them blindly.
TEST(AlterTableOverPages, ADefinitionLongerThanItsStructuresIsRefused) {
    TempDir dir;
    const std::string path = dir.copyOf("ace/test2010.accdb");
    auto db = Database::open(path);
    const std::uint32_t first = db->table("Table1")->definitionPage;
    db->write([&](store::WriteContext& ctx) {
        auto bytes = store::readDefinition(ctx.file, ctx.format, first);
        bytes.insert(bytes.end(), {0x01, 0x02, 0x03, 0x04});
        store::writeDefinition(ctx.file, ctx.format, first, bytes);
    });
    const auto before = bytesOf(path);
    for (const char* sql :
         {"ALTER TABLE [Table1] ADD COLUMN [X] INT", "ALTER TABLE [Table1] DROP [C]"}) {
        EXPECT_EQ(errorOf(*db, sql).code(), ErrorCode::Unsupported) << sql;
        EXPECT_TRUE(bytesOf(path) == before) << sql;
    }
}
