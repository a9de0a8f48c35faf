// UTF-8 encoding and decoding of one code point, shared by the text codecs and name folding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

inline void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes the code point at `i` and moves `i` past it. A malformed or cut-off sequence gives
// U+FFFD and moves past one byte.
inline char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp > 0x10FFFF) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

// Calls `unit` with each UTF-16 code unit of `text` (UTF-8), code points past U+FFFF as surrogate
// pairs, a malformed sequence as U+FFFD. Returns whether `text` was well-formed (a U+FFFD that is
// not spelled out in `text` marks a malformed sequence).
template <typename Unit>
bool forEachUtf16Unit(std::string_view text, Unit&& unit) {
    bool wellFormed = true;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        char32_t cp = nextCodePoint(text, i);
        if (cp == 0xFFFD && text.substr(at, 3) != "\xEF\xBF\xBD") wellFormed = false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(static_cast<char16_t>(0xD800 + (cp >> 10)));
            unit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            unit(static_cast<char16_t>(cp));
        }
    }
    return wellFormed;
}

inline bool isUtf8(std::string_view s) {
    return forEachUtf16Unit(s, [](char16_t) {});
}

// How many UTF-16 code units `text` (UTF-8) takes: Access's measure of a text's length.
inline std::size_t utf16Length(std::string_view text) {
    std::size_t n = 0;
    forEachUtf16Unit(text, [&n](char16_t) { ++n; });
    return n;
}

// Appends `text` (UTF-8) as UTF-16LE code units.
inline void appendUtf16(std::vector<std::uint8_t>& out, std::string_view text) {
    forEachUtf16Unit(text, [&out](char16_t u) {
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    });
}

}  // namespace jet
