// The character rules of Access's three General sort orders, one rule per UTF-16 code unit, as
// tables generated from published data (text_key_tables.cpp, made by
// tools/text_key_tables/make_text_key_tables.py; see NOTICE). text_key.cpp turns them into keys.
//
// An order's code units U+0000..U+FFFF are cut into runs: run i covers the units from first[i]
// up to first[i + 1] (the last run to U+FFFF) and is described by the record at
// records + record[i]. A record's first byte is its Kind; the bytes after it:
//
//   Simple        n, c[n]       unit u sorts by the n-byte big-endian number c + (u - first)
//   International n, c[n], e, x[e]        sorts by c; x joins the accent/case bytes
//   Unprintable   n, m[n]       no sort code; marked by position and m after the codes
//   Modifier      a             no sort code; a is added to the last accent/case byte
//   Flagged       n, c[n], e, x[e], f     as International, with f (2 or 3) among the
//                                         two-bit case/width flags
//   Ignored                     left out of the key entirely
//   Surrogate                   the surrogates U+D800..U+DFFF, whose codes are computed
//   Significant   n, c[n]       (Access 97) sorts by c; counts as n letters that an accented
//                               letter after them counts when its accent nibble is placed
//   NotInCodePage               (Access 97) a unit code page 1252 has no byte for, which a Jet 3
//                               text cannot hold
//
// The Access 97 order is told for the bytes of code page 1252; a unit of that code page has the
// rule of its byte, and its International records carry one accent byte, a nibble (1..15).
// Every run of a kind other than Simple, Ignored, Surrogate and NotInCodePage holds exactly one
// unit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jet::index::text_key_tables {

enum class Kind : std::uint8_t {
    Simple = 0,
    International = 1,
    Unprintable = 2,
    Modifier = 3,
    Flagged = 4,
    Ignored = 5,
    Surrogate = 6,
    Significant = 7,
    NotInCodePage = 8,
};

struct OrderRules {
    const std::uint16_t* first;
    const std::uint32_t* record;
    std::size_t runs;
    const std::uint8_t* records;
    std::size_t recordBytes;
};

extern const OrderRules kGeneralLegacy;  // 1033 version 0: Jet 4 and Access 2007
extern const OrderRules kGeneral;        // 1033 version 1: Access 2010 and later
extern const OrderRules kGeneral97;      // 1033 in Jet 3 (Access 97): text in code page 1252

}  // namespace jet::index::text_key_tables
