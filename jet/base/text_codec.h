// Text as Access stores it, decoded to UTF-8: Jet 4 / ACE UTF-16 with Access's compression, and
// Jet 3 text in a Windows code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/base/error.h"

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
// itself) throws Error(code): "<subject> holds the character 'Ł' (U+0141), which code page 1252
// of this Access 97 database cannot hold." A code page the system does not know throws
// Error(Unsupported).
std::vector<std::uint8_t> encodeCodePageText(std::string_view text, std::uint16_t codePage,
                                             ErrorCode code, const std::string& subject);

}  // namespace jet
