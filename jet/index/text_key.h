// Index keys of Text values in Access's General sort orders: that of Jet 4 and Access 2007
// (1033, version 0), that of Access 2010 and later (1033, version 1), and that of Access 97
// (1033 in a Jet 3 definition, which names no version; below). Every UTF-16 code unit has a rule
// in the generated tables (text_key_tables.h). A key of the two newer orders holds:
// - the sort codes of the characters, in order, then 0x01. Case is folded away entirely, so that
//   texts differing only in case have one key (and a unique index takes only one of them);
// - if any character has accent or width bytes ("international" characters, and the surrogates
//   of characters past U+FFFF), one group per coded character up to the last that has one, 0x02
//   standing for a plain character; combining marks add to the group of the character before;
// - if any character carries a two-bit width/kana flag, or is unprintable (left out of the codes,
//   like the apostrophe, the hyphen and the control characters, which count only where two
//   texts are otherwise equal): 0x01 0x01, the flags packed three to a byte and a fixed trailer,
//   then 0x01 and the marks of the unprintable characters by position;
// - 0x00.
// Characters the orders ignore leave no trace; trailing spaces are not keyed. A descending key
// is all of this inverted, then one more 0x00.
//
// Checked byte for byte against the ascending keys Access wrote in the fixtures and in
// tests/data/jackcess (tests/jet/index/text_key_test.cpp): in the older order Latin-1 with its
// accents, Greek, Cyrillic, kanji and hiragana, punctuation and control characters; in the newer
// letters, digits, some punctuation and control characters, and emoticons (surrogate pairs).
// Not yet met in a key Access wrote, and built as the published tables give them: the newer
// order's accents, combining marks, the two-bit flags, ignored characters, and descending keys;
// these match, byte for byte, the keys of a second implementation of the same tables over some
// 13,000 characters in both directions (tests/data/jackcess-made).
// Refused (the encoder gives no key):
// - texts longer than 255 UTF-16 code units (a Memo's): Access keys only the first 255 and then
//   drops trailing spaces, but no such key written by Access has been at hand to hold the cut to;
// - texts whose entry (flag byte and key) would be longer than maxTextEntryBytes: in the newer
//   order Access cuts entries past 508 bytes and ends them with two bytes nobody has explained;
//   in the older one it wrote an entry of 685 bytes whole, and nothing longer has been seen;
// - malformed UTF-8.
//
// Access 97 keeps text in a code page, 1252 for the General order whose keys are known, and keys
// its bytes; the encoder takes the characters and finds their bytes. A key holds:
// - the sort codes of the characters, one byte each (two for ß, æ and œ, which sort as two
//   letters), case folded away; the apostrophe, the hyphen and the control characters (NUL too)
//   have codes of their own, so there are no marks;
// - if any letter carries an accent, the accents as nibbles: 0, then for each accented letter a
//   2 for every letter since the one before that could have carried an accent (a c e i n o s u y,
//   each letter of ß, æ and œ), and then the accent's own nibble; then 0, packed high nibble
//   first and padded with 0. Otherwise the key ends with 0x00.
// Trailing spaces are not keyed. A descending key is all of this inverted, and no more.
//
// Checked byte for byte against the keys Access 97 wrote in fixtures/jet3 and
// fixtures-extra/jet3 (testIndexCodesV1997: every byte of code page 1252 but NUL and 1A between
// letters, ascending and descending, alone and before a second key column), and against those of
// Northwind 97 (the keys that settle NUL, ß before an accent, trailing spaces and several
// accents in one text are held in tests/jet/index/text_key_test.cpp).
// Refused in Access 97's order, besides texts past 255 code units and malformed UTF-8:
// - characters code page 1252 has no byte for (firstCharacterNotKeyed); the five bytes it
//   leaves undefined are read, and keyed, as Windows reads them: U+0081, U+008D, U+008F, U+0090
//   and U+009D;
// - texts whose entry would be longer than 42 bytes: the longest Access 97 entry at hand; where
//   Access 97 starts to cut (if it does) no key has shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "jet/format/schema.h"

namespace jet::index {

enum class TextOrder {
    GeneralLegacy,  // Jet 4 and Access 2007
    General,        // Access 2010 and later
    General97,      // Jet 3 (Access 97), text in code page 1252
};

// The General order a Jet 4 or later text column's definition names (its sort order and
// version); nullopt for any other order.
std::optional<TextOrder> generalTextOrder(std::uint16_t sortOrder, std::uint8_t version);

// The General order a text column's definition names, in any format: a Jet 3 definition by its
// sort order alone, for text in code page 1252 (the only one whose keys are known; a column that
// leaves its code page to the database's is not taken); a later one as above. nullopt for any
// other order.
std::optional<TextOrder> generalTextOrder(const ColumnDef& column);

// The longest text (in UTF-16 code units) the encoder takes: a Text field's most, which Access
// keys whole.
inline constexpr std::size_t kMaxKeyTextLength = 255;

// The longest entry of one text (flag byte and key) the encoder gives in `order`.
std::size_t maxTextEntryBytes(TextOrder order);

// The bytes of a non-Null text's key that follow the column's flag byte, for an ascending or a
// descending index column; nullopt for what is refused (above). `text` is UTF-8.
std::optional<std::vector<std::uint8_t>> encodeTextKey(std::string_view text, TextOrder order,
                                                       bool ascending);

// The first character of `text` (UTF-8) that `order` gives no key for, whatever the text's
// length: in Access 97's order one code page 1252 lacks; nullopt when there is none, or when
// the text is not UTF-8.
std::optional<char32_t> firstCharacterNotKeyed(std::string_view text, TextOrder order);

}  // namespace jet::index
