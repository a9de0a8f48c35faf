// quillfen-db check and compact as a script meets them: the exit status says whether there are
// faults, each fault is one line, and a file that cannot be opened is an error like any other
// command's.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/fixtures.h"
#include "support/quillfen_db_run.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

// What the command writes, stdout and then stderr, as one text.
Outcome runCommand(const std::string& command, const std::string& file) {
    const auto r = testsupport::runQuillfenDb(command + " " + testsupport::quote(file));
    return {r.status, r.out + r.err};
}

Outcome runCheck(const std::string& file) { return runCommand("check", file); }

// Table1's only data page is page 27: raises its free-space figure.
void damageFreeSpace(const std::string& copy) {
    std::fstream f(copy, std::ios::binary | std::ios::in | std::ios::out);
    f.seekg(27 * 4096 + 2);
    const int low = f.get();
    f.seekp(27 * 4096 + 2);
    f.put(static_cast<char>(low + 1));
}

TEST(CheckCommand, SoundFileExitsZero) {
    const Outcome r = runCheck(testsupport::fixture("jet4/test2000.mdb"));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("No faults found.\n")) << r.out;
}

TEST(CheckCommand, FaultsArePrintedOneALineAndExitOne) {
    testsupport::TempDir dir;
    const std::string copy = dir.copyOf("jet4/test2000.mdb");
    damageFreeSpace(copy);
    const Outcome r = runCheck(copy);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\nfree space: page 27 (data of table 'Table1'): its free-space figure"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with("\n1 fault found.\n")) << r.out;
}

TEST(CheckCommand, MissingFileIsAnError) {
    const Outcome r = runCheck("/nonexistent/x.mdb");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "quillfen-db: Could not find file '/nonexistent/x.mdb'.\n");
}

}  // namespace

// Compacting rewrites the damaged page from the rows and says what it did.
TEST(CompactCommand, RepairsWhatTheRowsRebuildAndSaysWhatItDid) {
    testsupport::TempDir dir;
    const std::string copy = dir.copyOf("ace/attachments2016.accdb");
    const Outcome r = runCommand("compact", copy);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\nLeft as it was: Table 'Table1': it has field 'Attachments', whose "
                         "values are kept in tables of their own.\n"),
              std::string::npos)
        << r.out;

    const std::string damaged = dir.copyOf("jet4/test2000.mdb");
    damageFreeSpace(damaged);
    const Outcome repaired = runCommand("compact", damaged);
    EXPECT_EQ(repaired.status, 0) << repaired.out;
    EXPECT_NE(repaired.out.find("\nTable 'Table1': 2 rows, 3 pages before, 3 after.\n"),
              std::string::npos)
        << repaired.out;
    EXPECT_TRUE(repaired.out.ends_with("\nFaults: 1 found before, 1 repaired, 0 remaining.\n"))
        << repaired.out;
    EXPECT_EQ(runCheck(damaged).status, 0);

    const Outcome missing = runCommand("compact", "/nonexistent/x.mdb");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "quillfen-db: Could not find file '/nonexistent/x.mdb'.\n");
}
