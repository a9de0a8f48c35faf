// Reading a text file as UTF-8, a buffer at a time: a file said to be UTF-8 is checked as it is
// read, a file in another encoding is converted through iconv. Nothing is ever replaced or
// skipped: at the first byte sequence that is no character of the encoding the reader gives
// the text before it and then stops, and fault() says what it met, so that the caller can name
// the line it has reached.
#pragma once

#include <iconv.h>

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace jet::sql {

class TextFileReader {
public:
    // An empty `encoding` is UTF-8; otherwise a name iconv knows ("WINDOWS-1252", "UTF-16",
    // "ISO-8859-15", ...). Throws Error(FileNotFound) naming a file that cannot be opened and
    // Error(Unsupported) naming an encoding that is not known.
    TextFileReader(const std::string& path, const std::string& encoding);
    ~TextFileReader();
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;

    // The next piece of text, valid until the next call; empty at the end of the file and at a
    // bad sequence. Throws Error(Io) when the file cannot be read.
    std::string_view read();
    // Why read() gave nothing: empty when the file ended, else what was wrong, e.g. "byte 0xE9
    // is not valid UTF-8".
    const std::string& fault() const { return fault_; }

private:
    void fill();  // drops the bytes given out and reads more after those left
    std::string_view checkUtf8();
    std::string_view convert();

    std::string path_;
    std::string encoding_;
    std::ifstream in_;
    iconv_t converter_ = reinterpret_cast<iconv_t>(-1);
    std::vector<char> raw_ = std::vector<char>(1 << 16);
    std::size_t rawUsed_ = 0;   // bytes in raw_, from its start
    std::size_t rawGiven_ = 0;  // of those, the ones given out (as they are or converted)
    bool ended_ = false;        // the file has no more bytes
    std::vector<char> text_;    // converted text (not used for UTF-8)
    std::string fault_;
};

}  // namespace jet::sql
