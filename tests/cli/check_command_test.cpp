// quillfen-db check as a script meets it: the exit status says whether there are faults, each
// fault is one line, and a file that cannot be opened is an error like any other command's.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <array>
#include <fstream>
#include <string>

#include "support/fixtures.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome runCheck(const std::string& file) {
    const std::string cmd = std::string(QUILLFEN_DB) + " check '" + file + "' 2>&1";
    Outcome r;
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(CheckCommand, SoundFileExitsZero) {
    const Outcome r = runCheck(testsupport::fixture("jet4/test2000.mdb"));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("No faults found.\n")) << r.out;
}

TEST(CheckCommand, FaultsArePrintedOneALineAndExitOne) {
    testsupport::TempDir dir;
    const std::string copy = dir.copyOf("jet4/test2000.mdb");
    {
        // Table1's only data page is page 27: raise its free-space figure.
        std::fstream f(copy, std::ios::binary | std::ios::in | std::ios::out);
        f.seekg(27 * 4096 + 2);
        const int low = f.get();
        f.seekp(27 * 4096 + 2);
        f.put(static_cast<char>(low + 1));
    }
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
