#include "jet/sql/text_file_reader.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "jet/base/error.h"

namespace jet::sql {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// How far `s` is well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF),
// and whether what stops it is a character that `s` ends in the middle of.
struct Utf8Scan {
    std::size_t valid;
    bool cutOff;
};

Utf8Scan scanUtf8(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        // Plain ASCII eight bytes at a time: most of a CSV file is.
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        // The range of the byte after the lead byte; the others are always 0x80 to 0xBF.
        std::size_t extra = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) low = 0xA0;   // overlong
            if (c == 0xED) high = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) low = 0x90;   // overlong
            if (c == 0xF4) high = 0x8F;  // past U+10FFFF
        } else {
            return {i, false};
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k == n) return {i, true};
            const unsigned char next = s[i + k];
            const bool fits = k == 1 ? next >= low && next <= high : (next & 0xC0) == 0x80;
            if (!fits) return {i, false};
        }
        i += extra + 1;
    }
    return {n, false};
}

std::string hexByte(unsigned char b) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[b >> 4] + kDigits[b & 0xF];
}

}  // namespace

TextFileReader::TextFileReader(const std::string& path, const std::string& encoding)
    : path_(path), encoding_(encoding) {
    if (!encoding_.empty()) {
        // iconv reads "//IGNORE" and "//TRANSLIT" in a name as leave out or replace what does
        // not convert: a name is taken only as a plain encoding.
        if (encoding_.find('/') == std::string::npos) {
            converter_ = iconv_open("UTF-8", encoding_.c_str());
        }
        if (converter_ == kNoConverter) {
            throw Error(ErrorCode::Unsupported, "The encoding '" + encoding_ +
                                                    "' is not known; cannot read '" + path_ + "'.");
        }
    }
    in_.open(path, std::ios::binary);
    if (!in_) {
        if (converter_ != kNoConverter) iconv_close(converter_);
        throw Error(ErrorCode::FileNotFound, "Could not find file '" + path + "'.");
    }
}

TextFileReader::~TextFileReader() {
    if (converter_ != kNoConverter) iconv_close(converter_);
}

void TextFileReader::fill() {
    // Drop what was given out; keep a character cut off at the end of the last read.
    std::memmove(raw_.data(), raw_.data() + rawGiven_, rawUsed_ - rawGiven_);
    rawUsed_ -= rawGiven_;
    rawGiven_ = 0;
    if (ended_) return;
    in_.read(raw_.data() + rawUsed_, static_cast<std::streamsize>(raw_.size() - rawUsed_));
    if (in_.bad()) throw Error(ErrorCode::Io, "Cannot read '" + path_ + "'.");
    const auto n = static_cast<std::size_t>(in_.gcount());
    rawUsed_ += n;
    if (in_.eof() || n == 0) ended_ = true;
}

std::string_view TextFileReader::read() {
    if (!fault_.empty()) return {};
    return converter_ == kNoConverter ? checkUtf8() : convert();
}

std::string_view TextFileReader::checkUtf8() {
    for (;;) {
        fill();
        if (rawUsed_ == 0) return {};
        const auto* bytes = reinterpret_cast<const unsigned char*>(raw_.data());
        const Utf8Scan scan = scanUtf8(bytes, rawUsed_);
        rawGiven_ = scan.valid;
        if (scan.valid < rawUsed_) {
            if (!scan.cutOff) {
                fault_ = "byte " + hexByte(bytes[scan.valid]) + " is not valid UTF-8";
            } else if (ended_) {
                fault_ = "the file ends inside a character (not valid UTF-8)";
            }
        }
        // Nothing valid yet: a character cut off by the end of the buffer, which more completes.
        if (scan.valid > 0 || !fault_.empty() || ended_) return {raw_.data(), scan.valid};
    }
}

std::string_view TextFileReader::convert() {
    for (;;) {
        fill();
        const bool last = ended_;
        // Every byte may become a character of up to four bytes in UTF-8.
        if (text_.size() < 4 * rawUsed_ + 16) text_.resize(4 * rawUsed_ + 16);
        char* in = raw_.data();
        std::size_t inLeft = rawUsed_;
        char* out = text_.data();
        std::size_t outLeft = text_.size();
        // With no bytes left, iconv gives out what it may have held back (a character it kept
        // to see whether a combining one follows).
        const std::size_t done = rawUsed_ > 0 ? iconv(converter_, &in, &inLeft, &out, &outLeft)
                                              : iconv(converter_, nullptr, nullptr, &out, &outLeft);
        if (done == static_cast<std::size_t>(-1)) {
            if (errno == EILSEQ) {
                fault_ = "byte " + hexByte(static_cast<unsigned char>(*in)) + " is not valid " +
                         encoding_;
            } else if (errno == EINVAL && last) {
                fault_ = "the file ends inside a character (not valid " + encoding_ + ")";
            } else if (errno != EINVAL && errno != E2BIG) {
                // (A character cut off by the end of the buffer, or a full buffer: the rest is
                // converted next time.)
                fault_ = "its text does not convert from " + encoding_;
            }
        }
        rawGiven_ = static_cast<std::size_t>(in - raw_.data());
        const auto produced = static_cast<std::size_t>(out - text_.data());
        if (produced > 0 || !fault_.empty() || (last && rawUsed_ == 0)) {
            return {text_.data(), produced};
        }
    }
}

}  // namespace jet::sql
