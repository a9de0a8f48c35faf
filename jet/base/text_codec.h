// Text as Access stores it, decoded to UTF-8: Jet 4 / ACE UTF-16 with Access's compression, and
// Jet 3 text in a Windows code page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/bytes.h"

namespace jet {

// Jet 4 / ACE text: UTF-16LE, or, when it starts with FF FE, Access's compressed form (runs of
// one byte per character, switched to and from UTF-16 by a 00 byte). Returns UTF-8.
// Unpaired surrogates become U+FFFD. Throws jet::Error(Corrupt) only on nothing; never reads
// outside the span.
std::string decodeUnicodeText(ByteSpan bytes);

// Jet 3 text in a Windows code page (1252 when codePage is 0). Returns UTF-8.
std::string decodeCodePageText(ByteSpan bytes, std::uint16_t codePage);

// UTF-8 to Jet 3 text in a Windows code page (1252 when codePage is 0). A text the code page
// cannot hold exactly (a character it has no byte for, or one that would not read back as
// itself) gives nullopt and `unheld` names the first such character. Throws Error(Unsupported)
// for a code page the system does not know.
// A character for a message: 'Ł' (U+0141), or only its number where it would not show.
std::string describeCharacter(char32_t c);

// Why `text` cannot go in Jet 3 text in `codePage`: "the character 'Ł' (U+0141), which code
// page 1252 of this Access 97 database cannot hold" (or that it is not valid UTF-8).
std::string unheldCharacterReason(std::string_view text, char32_t unheld, std::uint16_t codePage);

std::optional<std::vector<std::uint8_t>> encodeCodePageText(std::string_view text,
                                                            std::uint16_t codePage,
                                                            char32_t& unheld);

}  // namespace jet
