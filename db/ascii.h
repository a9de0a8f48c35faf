// Lower case for the ASCII letters only: provider names, connection-string keys, programmatic
// identifiers and file endings are ASCII, and other characters must not change.
#pragma once

#include <string>
#include <string_view>

namespace db {

inline std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace db
