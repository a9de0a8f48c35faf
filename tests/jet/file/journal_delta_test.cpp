// A delta record holds the ranges in which a page changes, with their bytes as they were; changes
// fewer than eight equal bytes apart share one range. Playback restores a page from them, so a
// range missed or cut short would bring back a damaged page after a crash.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "jet/file/journal.h"
#include "jet/file/page_file.h"
#include "support/fixtures.h"
#include "write_workload.h"

using jet::file::RollbackJournal;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t get16(const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }

// The ranges a delta names, as (offset, length), after checking its length field.
std::vector<std::pair<std::size_t, std::size_t>> rangesOf(const Bytes& delta) {
    const std::uint32_t length = delta[0] | (delta[1] << 8) | (delta[2] << 16) | (delta[3] << 24);
    EXPECT_EQ(length + 4, delta.size());
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t r = 4; r < delta.size(); r += 4 + get16(delta, r + 2)) {
        ranges.emplace_back(get16(delta, r), get16(delta, r + 2));
    }
    return ranges;
}

// Checks that the delta of `before` and `after` restores `before` from `after`, and that its
// ranges are the fewest the joining rule allows: each begins and ends on a changed byte, and
// eight or more equal bytes lie between two ranges.
void expectExactDelta(const Bytes& before, const Bytes& after) {
    const std::optional<Bytes> delta = RollbackJournal::deltaOf(before, after);
    ASSERT_TRUE(delta.has_value());
    Bytes restored = after;
    std::size_t previousEnd = 0;
    std::size_t previousLength = 0;
    std::size_t r = 4;
    for (const auto& [offset, length] : rangesOf(*delta)) {
        ASSERT_GT(length, 0u);
        ASSERT_LE(offset + length, before.size());
        EXPECT_NE(before[offset], after[offset]) << "a range begins on an equal byte";
        EXPECT_NE(before[offset + length - 1], after[offset + length - 1])
            << "a range ends on an equal byte";
        // Only a range at the most its length field can say may go on straight after.
        if (r > 4 && previousLength < 65535) {
            EXPECT_GE(offset - previousEnd, 8u) << "ranges closer than eight bytes";
        }
        for (std::size_t i = previousEnd; i < offset; ++i) {
            ASSERT_EQ(before[i], after[i]) << "a changed byte at " << i << " lies in no range";
        }
        std::copy_n(delta->begin() + static_cast<std::ptrdiff_t>(r + 4), length,
                    restored.begin() + static_cast<std::ptrdiff_t>(offset));
        previousEnd = offset + length;
        previousLength = length;
        r += 4 + length;
    }
    for (std::size_t i = previousEnd; i < before.size(); ++i) {
        ASSERT_EQ(before[i], after[i]) << "a changed byte at " << i << " lies in no range";
    }
    EXPECT_EQ(restored, before);
}

TEST(JournalDelta, NamesEveryChangeWithTheFewestRanges) {
    std::mt19937 random(20261209);
    for (const std::size_t size : {std::size_t{512}, std::size_t{2048}, std::size_t{4096}}) {
        for (int round = 0; round < 300; ++round) {
            Bytes before(size);
            for (auto& b : before) b = static_cast<std::uint8_t>(random());
            Bytes after = before;
            // Changes in clusters of every spacing around the joining gap, at the page's ends too.
            const int changes = static_cast<int>(random() % 64);
            std::size_t at = random() % 3 == 0 ? 0 : random() % size;
            for (int c = 0; c < changes && at < size; ++c) {
                after[at] = static_cast<std::uint8_t>(after[at] + 1 + random() % 255);
                at += 1 + random() % (round % 2 == 0 ? 12 : 200);
            }
            if (round % 5 == 0) after[size - 1] ^= 0x80;
            expectExactDelta(before, after);
        }
    }
}

TEST(JournalDelta, EdgesOfTheJoiningGapAndWholePages) {
    Bytes before(4096, 0x11);
    // Seven equal bytes between changes join them; eight part them.
    Bytes after = before;
    after[100] = after[108] = 0;    // seven equal bytes between
    after[200] = after[209] = 0;    // eight equal bytes between
    after[4088] = after[4095] = 0;  // the last word of the page
    expectExactDelta(before, after);
    ASSERT_EQ(rangesOf(*RollbackJournal::deltaOf(before, after)).size(), 4u);

    Bytes all(4096, 0x22);
    expectExactDelta(before, all);
    expectExactDelta(before, before);
    EXPECT_EQ(RollbackJournal::deltaOf(before, before)->size(), 4u);
    // A 64 KiB page changed whole takes two ranges: one range's length field stops at 65535.
    const Bytes big(65536, 1);
    Bytes bigAfter(65536, 2);
    bigAfter[65530] = 1;
    expectExactDelta(big, bigAfter);

    // Over the limit: no delta, and the caller journals the whole page instead.
    EXPECT_FALSE(RollbackJournal::deltaOf(before, all, 2048).has_value());
}

// A journal an earlier version of the engine left (layout 3, an older checksum) still brings
// the file back after a crash: users may open such a file only after updating.
TEST(JournalDelta, AJournalOfTheLayoutBeforeIsPlayedBack) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf(writetest::kFixture);
    const auto original = writetest::fileBytes(path);
    // The file as the killed write left it: pages 1 to 8 written (see the journal's README).
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        for (std::uint32_t n = 1; n <= 8; ++n) {
            for (std::size_t k = 0; k < 5; ++k) {
                const std::size_t at = n * writetest::kPageSize + 100 + k * 700 + n;
                f.seekp(static_cast<std::streamoff>(at));
                f.put(static_cast<char>(original[at] ^ 0x5A));
            }
        }
    }
    ASSERT_FALSE(writetest::fileBytes(path) == original);
    std::filesystem::copy_file(QUILLFEN_TEST_DATA "/journal-layout3/delTestV2000.mdb-journal",
                               path + "-journal");
    { jet::file::PageFile reopened(path, jet::file::AccessMode::ReadWrite); }
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    EXPECT_TRUE(writetest::fileBytes(path) == original);
}

}  // namespace
