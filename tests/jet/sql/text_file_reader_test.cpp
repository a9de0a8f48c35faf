// Reading a text file as UTF-8 a buffer at a time: characters cut by the end of a buffer are
// completed by the next one, in the file's own UTF-8 and through iconv alike.
#include "jet/sql/text_file_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "jet/base/error.h"
#include "support/fixtures.h"

namespace {

std::string readAll(const std::string& path, const std::string& encoding) {
    jet::sql::TextFileReader reader(path, encoding);
    std::string text;
    for (std::string_view piece = reader.read(); !piece.empty(); piece = reader.read()) {
        text += piece;
    }
    EXPECT_EQ(reader.fault(), "");
    return text;
}

}  // namespace

TEST(TextFileReader, CharactersAcrossTheBufferEndArriveWhole) {
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "text.txt").string();
    // 2-, 3- and 4-byte characters; the shifts put every byte of the pattern at the end of the
    // 64 KiB buffer.
    const std::string pattern = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x\n";  // é € 😀 x
    const std::string pattern16("\xE9\0\xAC\x20\x3D\xD8\x00\xDEx\0\n\0", 12);
    for (std::size_t shift = 0; shift < pattern.size(); ++shift) {
        SCOPED_TRACE(shift);
        std::string text(shift, 'a');
        while (text.size() < (1 << 16) + 2 * pattern.size()) text += pattern;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        EXPECT_EQ(readAll(path, ""), text);
        EXPECT_EQ(readAll(path, "UTF-8"), text);

        std::string text16;
        for (std::size_t i = 0; i < shift; ++i) text16 += std::string("a\0", 2);
        std::string expected(shift, 'a');
        while (text16.size() < (1 << 16) + 2 * pattern16.size()) {
            text16 += pattern16;
            expected += pattern;
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text16;
        EXPECT_EQ(readAll(path, "UTF-16LE"), expected);
    }
}
