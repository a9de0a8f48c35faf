// What the write-layer tests share: a statement-sized write that overwrites, re-writes and
// appends pages over several flushes, and ways to look at a file and to run a child process.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/file/page_file.h"
#include "support/statements.h"

namespace writetest {

// 33 pages of 4096 bytes.
inline constexpr const char* kFixture = "jet4/delTestV2000.mdb";
inline constexpr std::uint32_t kPageSize = 4096;
// Small, so that one statement takes several flushes and re-writes pages already on disk.
inline constexpr std::size_t kDirtyLimit = 8;

inline std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline jet::file::Page patternPage(int seed) {
    jet::file::Page page(kPageSize);
    for (std::size_t i = 0; i < page.size(); ++i) {
        page[i] = static_cast<std::uint8_t>(static_cast<std::size_t>(seed) * 31 + i * 7 + (i >> 8));
    }
    return page;
}

inline void openForWrite(jet::file::PageFile& file) {
    file.setPageSize(kPageSize);
    file.setDirtyPageLimit(kDirtyLimit);
}

// 24 existing pages, 10 appended ones (half left zero), then 6 of the first pages again.
inline void changeManyPages(jet::file::PageFile& file) {
    const std::uint32_t originalPages = file.pageCount();
    for (int i = 0; i < 24; ++i) {
        file.writePage(1 + (i * 7) % (originalPages - 1), patternPage(i));
    }
    for (int i = 0; i < 10; ++i) {
        const std::uint32_t added = file.appendPage();
        if (i % 2 == 0) file.writePage(added, patternPage(100 + i));
    }
    for (int i = 0; i < 6; ++i) {
        file.writePage(1 + (i * 7) % (originalPages - 1), patternPage(200 + i));
    }
}

// Rows changed where they stand: a few bytes of every page the file began with but page 0, over
// several flushes; a page appended; then other bytes of 12 of those pages, already on disk,
// among them a byte the first change changed too.
inline void changeFewBytes(jet::file::PageFile& file) {
    const std::uint32_t originalPages = file.pageCount();
    for (std::uint32_t n = 1; n < originalPages; ++n) {
        const auto page = file.edit(n);
        for (std::size_t k = 0; k < 5; ++k) page[100 + k * 700 + n] ^= 0x5A;
    }
    file.writePage(file.appendPage(), patternPage(7));
    for (std::uint32_t i = 0; i < 12; ++i) {
        const std::uint32_t n = 1 + (i * 5) % (originalPages - 1);
        const auto page = file.edit(n);
        page[100 + n] ^= 0x0F;
        for (std::size_t k = 0; k < 3; ++k) page[300 + k * 1100 + i] ^= 0xA5;
    }
}

// The statement above, then the file cut to 20 pages (the 10 pages appended and 13 of those it
// began with), 3 pages appended again where the cut took some, the file cut once more, and 3
// pages it changed before changed again.
inline void changeAndCutPages(jet::file::PageFile& file) {
    changeManyPages(file);
    file.truncate(20);
    for (int i = 0; i < 3; ++i) file.writePage(file.appendPage(), patternPage(300 + i));
    file.truncate(22);
    for (int i = 0; i < 3; ++i) file.writePage(2 + i, patternPage(400 + i));
}

// Runs `child` in a forked process and returns its exit status (-1 when it did not exit).
template <typename F>
int inChild(F&& child) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 1;
        try {
            status = child();
        } catch (...) {
            status = 2;
        }
        ::_exit(status);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

using testsupport::errorOf;

}  // namespace writetest
