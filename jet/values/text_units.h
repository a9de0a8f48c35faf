// Text as characters: the SQL functions and Like count and cut text by character (Unicode code
// point), never inside the bytes of one UTF-8 character.
#pragma once

#include <string>
#include <string_view>

#include "jet/base/utf8.h"

namespace jet::values {

// Code points of UTF-8 text; a malformed byte stands for itself.
inline std::u32string decodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        bool ok = extra > 0 && i + static_cast<std::size_t>(extra) < s.size();
        char32_t cp = c & (0x3F >> extra);
        for (int k = 1; k <= extra && ok; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            ok = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (ok) {
            i += static_cast<std::size_t>(extra) + 1;
        } else {
            cp = c;
            ++i;
        }
        out += cp;
    }
    return out;
}

inline std::string encodeUtf8(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (const char32_t cp : s) appendUtf8(out, cp);
    return out;
}

}  // namespace jet::values
