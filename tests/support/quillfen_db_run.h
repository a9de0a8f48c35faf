// Runs quillfen-db (the build's, QUILLFEN_DB) as a user's shell would, for the tests of its
// commands: the exit status, and what it wrote to stdout and to stderr.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <array>
#include <fstream>
#include <iterator>
#include <string>

#include "support/fixtures.h"

namespace testsupport {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// A shell word: between single quotes.
inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// `args` as the shell reads them: quote what must stay one word.
inline Outcome runQuillfenDb(const std::string& args) {
    TempDir dir;
    const std::string errFile = (dir.path() / "err").string();
    const std::string cmd = std::string(QUILLFEN_DB) + " " + args + " 2>" + quote(errFile);
    Outcome r;
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    r.err.assign(std::istreambuf_iterator<char>(err), {});
    return r;
}

}  // namespace testsupport
