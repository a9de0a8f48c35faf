// Index keys of Text values in Access's General sort orders. A key holds one code per character
// (letters folded to one case, so keys compare text as Access does, ignoring case), an end
// marker, then the marks of the characters the codes leave out (the apostrophe and the hyphen,
// which count only where two texts are otherwise equal), and a final marker.
//
// Supported: what keys Access wrote have been checked against byte for byte (the fixtures'
// text indexes, and for the older order's punctuation a key holding every printable character
// in the public test database testUnicodeCompV2003.mdb of the Jackcess project):
// - the General order of Jet 4 and Access 2007 (1033, version 0): printable ASCII, U+0020 to
//   U+007E;
// - the General order of Access 2010 and later (1033, version 1): the letters A to Y in either
//   case, the digits, space, hyphen, period and underscore. No key Access wrote in this order
//   showed the other punctuation or Z;
// - in both, texts that do not end in a space (keys are described as leaving trailing spaces
//   out, but no key Access wrote for such a text has been at hand), the empty text included;
// - ascending keys. Descending keys are built as the format is described (everything inverted,
//   then one more end byte), but no descending text index written by Access was at hand to
//   hold them to, so the engine does not write them (see keyColumnFor).
// Anything else (another character, another sort order) is refused: the encoder gives no key,
// and a write that needs one fails and changes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace jet::index {

enum class TextOrder {
    GeneralLegacy,  // Jet 4 and Access 2007
    General,        // Access 2010 and later
};

// The General order a text column's definition names (its sort order and version); nullopt
// for any other order.
std::optional<TextOrder> generalTextOrder(std::uint16_t sortOrder, std::uint8_t version);

// What the order's keys take, for messages: "printable ASCII with no trailing space", ...
const char* placeableCharacters(TextOrder order);

// The longest text (in characters) the encoder takes: a Text field's most, which Access keys
// whole. Longer texts (a Memo's) are cut in a way not verified here.
inline constexpr std::size_t kMaxKeyTextLength = 255;

// The bytes of a non-Null text's key that follow the column's flag byte, for an ascending or a
// descending index column; nullopt when the text holds a character outside the supported set
// or is longer than kMaxKeyTextLength. `text` is UTF-8.
std::optional<std::vector<std::uint8_t>> encodeTextKey(std::string_view text, TextOrder order,
                                                       bool ascending);

}  // namespace jet::index
