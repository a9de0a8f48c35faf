// Text as Access stores it, decoded to UTF-8: Jet 4 / ACE UTF-16 with Access's compression, and
// Jet 3 text in a Windows code page.
#pragma once

#include <cstdint>
#include <string>

#include "jet/base/bytes.h"

namespace jet {

// Jet 4 / ACE text: UTF-16LE, or, when it starts with FF FE, Access's compressed form (runs of
// one byte per character, switched to and from UTF-16 by a 00 byte). Returns UTF-8.
// Unpaired surrogates become U+FFFD. Throws jet::Error(Corrupt) only on nothing; never reads
// outside the span.
std::string decodeUnicodeText(ByteSpan bytes);

// Jet 3 text in a Windows code page (1252 when codePage is 0). Returns UTF-8.
std::string decodeCodePageText(ByteSpan bytes, std::uint16_t codePage);

}  // namespace jet
