#!/usr/bin/env python3
"""Writes jet/index/text_key_tables.cpp: the character rules of Access's General sort orders.

Usage: make_text_key_tables.py DATA_DIR [OUTPUT]

DATA_DIR holds the index code data files of the Jackcess project (Apache License 2.0), found in
its source tree under src/main/resources/com/healthmarketscience/jackcess/:

  index_codes_genleg.txt, index_codes_ext_genleg.txt   General order of Jet 4 / Access 2007
  index_codes_gen.txt,    index_codes_ext_gen.txt      General order of Access 2010 and later
  index_codes_gen_97.txt, index_mappings_ext_gen_97.txt  General order of Access 97 (Jet 3)

Each data file of the two newer orders has one line per UTF-16 code unit, in order, leaving out
the surrogates U+D800..U+DFFF: the first file covers U+0000..U+00FF, the "ext" file
U+0100..U+FFFF. A line is a letter naming the rule and its comma-separated hex byte strings (an
odd-length string has lost a leading zero):

  S<inline>                    sorts by <inline>
  I<inline>,<extra>            sorts by <inline>, told apart from its base letter by <extra>
  U<mark>                      left out of the codes, marked after them by position and <mark>
  P<add>                       left out, adds <add> to the last extra byte
  Z<inline>,<extra>,<1 or "">  like I (the extra may be empty) with a two-bit case/width flag
  X                            ignored entirely

Access 97 keeps text in a Windows code page, and its General order is told byte by byte for code
page 1252: index_codes_gen_97.txt has one line per byte 0x00..0xFF, with the letters S, I (whose
extra is one byte holding a nibble) and X above and one more,

  G<inline>                    sorts by <inline>, and is a letter that an accented letter after
                               it counts when its extra nibble is placed

and index_mappings_ext_gen_97.txt lists, as decimal "<code unit>,<byte>" lines, the characters
past U+00FF that code page 1252 puts at bytes 0x80..0x9F. The script gives every code unit a rule,
as for the other orders: a character of code page 1252 takes the rule of its byte (the script
holds the mapping file to Python's cp1252 codec), and so do the C1 controls U+0081, U+008D,
U+008F, U+0090 and U+009D, which Windows, and the engine's reader and writer
(jet/base/text_codec.cpp), take for the five bytes Python's codec leaves undefined; any other
unit, the other C1 controls and the surrogates included, cannot be held by a Jet 3 text in that
code page and is marked so (the encoder refuses it). Two lines are corrected from keys Access 97
wrote (see correct_gen_97): NUL, and the characters that sort as two letters.

The output groups consecutive code units into runs: a run of S lines whose codes count up by one
(as big-endian numbers of one length), a run of X lines, a run of units outside the code page, or
a single line of another kind. The encoder finds a code unit's run by binary search. The script
reads its own output back and compares every code unit with the data files before writing
anything.
"""

import os
import sys

KINDS = {"S": 0, "I": 1, "U": 2, "P": 3, "Z": 4, "X": 5, "G": 7}
SURROGATE = 6  # computed by the encoder, not listed in the data files
NOT_IN_CODE_PAGE = 8  # Access 97: a unit code page 1252 has no byte for
SURROGATES = range(0xD800, 0xE000)

# (symbol, what the comment says of it, the data files, how they are read)
ORDERS = [
    ("kGeneralLegacy", "1033 version 0: Jet 4 and Access 2007",
     ("index_codes_genleg.txt", "index_codes_ext_genleg.txt"), "units"),
    ("kGeneral", "1033 version 1: Access 2010 and later",
     ("index_codes_gen.txt", "index_codes_ext_gen.txt"), "units"),
    ("kGeneral97", "1033 in Jet 3 (Access 97): text in code page 1252",
     ("index_codes_gen_97.txt", "index_mappings_ext_gen_97.txt"), "bytes"),
]


def hex_bytes(text):
    if text == "":
        return b""
    if len(text) % 2:
        text = "0" + text
    return bytes.fromhex(text)


def parse_line(line):
    """One data line as (kind, inline, extra, mark, add, flag)."""
    letter, fields = line[0], line[1:].split(",")
    kind = KINDS[letter]
    inline = extra = mark = b""
    add = flag = 0
    if letter in "SG":
        (inline,) = map(hex_bytes, fields)
    elif letter == "I":
        inline, extra = map(hex_bytes, fields)
    elif letter == "U":
        (mark,) = map(hex_bytes, fields)
    elif letter == "P":
        (value,) = map(hex_bytes, fields)
        if len(value) != 1:
            raise ValueError("P line with more than one byte: " + line)
        add = value[0]
    elif letter == "Z":
        inline, extra = hex_bytes(fields[0]), hex_bytes(fields[1])
        flag = 2 if fields[2] == "1" else 3
    elif line != "X":
        raise ValueError("unexpected line: " + line)
    if letter in "SIZG" and not inline:
        raise ValueError("line without codes: " + line)
    return (kind, inline, extra, mark, add, flag)


def read_lines(folder, name):
    with open(os.path.join(folder, name), encoding="ascii") as f:
        body = [l.rstrip("\r\n") for l in f.read().split("\n")]
    while body and body[-1] == "":
        body.pop()
    return body


def read_units_order(folder, low_name, ext_name):
    """The parsed rule of every code unit U+0000..U+FFFF (None for surrogates)."""
    lines = []
    for name, count in ((low_name, 0x100), (ext_name, 0x10000 - 0x100 - len(SURROGATES))):
        body = read_lines(folder, name)
        if len(body) != count:
            raise ValueError("%s: %d lines, expected %d" % (name, len(body), count))
        lines.extend(body)
    rules = []
    at = iter(lines)
    for unit in range(0x10000):
        rules.append(None if unit in SURROGATES else parse_line(next(at)))
    return rules


def read_bytes_order(folder, codes_name, mappings_name):
    """The rule of every code unit U+0000..U+FFFF for an order given by the bytes of code page
    1252: the rule of the unit's byte, or NOT_IN_CODE_PAGE."""
    lines = read_lines(folder, codes_name)
    if len(lines) != 0x100:
        raise ValueError("%s: %d lines, expected 256" % (codes_name, len(lines)))
    by_byte = [parse_line(line) for line in lines]
    correct_gen_97(by_byte)
    for b, (kind, inline, extra, mark, add, flag) in enumerate(by_byte):
        if kind not in (KINDS["S"], KINDS["I"], KINDS["G"], KINDS["X"]):
            raise ValueError("%s: byte 0x%02X has a rule of a kind not expected" % (codes_name, b))
        if kind == KINDS["I"] and (len(extra) != 1 or not 0 < extra[0] < 0x10):
            raise ValueError("%s: byte 0x%02X has an extra that is not a nibble" % (codes_name, b))
    # Where code page 1252 puts each character, as Python knows it; the data file must agree.
    byte_of = {}
    for b in range(0x100):
        try:
            byte_of[ord(bytes([b]).decode("cp1252"))] = b
        except UnicodeDecodeError:
            byte_of[b] = b  # undefined here; Windows reads it as the C1 control of its number
    listed = {}
    for line in read_lines(folder, mappings_name):
        if line.strip():
            unit, b = (int(x) for x in line.split(","))
            listed[unit] = b
    past_latin1 = {u: b for u, b in byte_of.items() if u > 0xFF}
    if listed != past_latin1:
        raise ValueError("%s does not list code page 1252's characters past U+00FF" % mappings_name)
    if any(u != b for u, b in byte_of.items() if u <= 0xFF):
        raise AssertionError("code page 1252 moves a Latin-1 character")
    if sorted(u for u in byte_of if 0x80 <= u < 0xA0) != [0x81, 0x8D, 0x8F, 0x90, 0x9D]:
        raise AssertionError("not the five C1 controls Windows' code page 1252 reads")
    return [by_byte[byte_of[u]] if u in byte_of else NOT_IN_CODE_PAGE for u in range(0x10000)]


def correct_gen_97(by_byte):
    """Two corrections to the Access 97 data, from keys Access 97 wrote in Northwind 97 (nwind.mdb
    of mdbtools/mdbtestdata; tests/jet/index/text_key_test.cpp holds the keys):

    - NUL is coded 0x10, as the other control characters are ("Lock" and NUL keyed 6D 72 62 6C 10
      in MSysModules2), where the data ignores it;
    - a character that sorts as two letters (S lines whose codes are those of two G lines: ß as
      "ss", æ as "ae", œ as "oe") counts as those two letters when accents after it are placed, as
      the letters themselves would (eleven plain nibbles, two of them the ß's, before the accent
      of the ä of "Plutzer Lebensmittelgroßmärkte AG"), where the data counts it as none.
    """
    if by_byte[0][0] != KINDS["X"] or by_byte[1] != parse_line("S10"):
        raise ValueError("the Access 97 data no longer reads as the corrections expect")
    by_byte[0] = by_byte[1]
    letters = {rule[1] for rule in by_byte if rule[0] == KINDS["G"]}
    if any(len(code) != 1 for code in letters):
        raise ValueError("a G line with a code longer than one byte")
    for b, rule in enumerate(by_byte):
        kind, inline = rule[0], rule[1]
        if kind == KINDS["S"] and len(inline) > 1 and all(bytes([c]) in letters for c in inline):
            by_byte[b] = (KINDS["G"],) + rule[1:]


def as_number(b):
    return int.from_bytes(b, "big")


def kind_of(rule):
    if rule is None:
        return SURROGATE
    if rule == NOT_IN_CODE_PAGE:
        return NOT_IN_CODE_PAGE
    return rule[0]


def build_runs(rules):
    """[(first unit, record bytes)] covering U+0000..U+FFFF."""
    runs = []
    unit = 0
    while unit < 0x10000:
        rule = rules[unit]
        first = unit
        unit += 1
        kind = kind_of(rule)
        if kind in (SURROGATE, NOT_IN_CODE_PAGE, KINDS["X"]):
            while unit < 0x10000 and kind_of(rules[unit]) == kind:
                unit += 1
            runs.append((first, bytes([kind])))
            continue
        kind, inline, extra, mark, add, flag = rule
        if kind == KINDS["S"]:
            while unit < 0x10000 and kind_of(rules[unit]) == kind:
                nxt = rules[unit][1]
                if len(nxt) != len(inline) or as_number(nxt) != as_number(inline) + unit - first:
                    break
                unit += 1
            runs.append((first, bytes([kind, len(inline)]) + inline))
        elif kind == KINDS["I"]:
            runs.append((first, bytes([kind, len(inline)]) + inline + bytes([len(extra)]) + extra))
        elif kind == KINDS["G"]:
            runs.append((first, bytes([kind, len(inline)]) + inline))
        elif kind == KINDS["U"]:
            runs.append((first, bytes([kind, len(mark)]) + mark))
        elif kind == KINDS["P"]:
            runs.append((first, bytes([kind, add])))
        else:
            runs.append(
                (first, bytes([kind, len(inline)]) + inline + bytes([len(extra)]) + extra
                 + bytes([flag])))
    return runs


def decode(runs, unit):
    """What the encoder will read for `unit`, as a rule tuple (the script's self-check)."""
    lo, hi = 0, len(runs)
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if runs[mid][0] <= unit:
            lo = mid
        else:
            hi = mid
    first, rec = runs[lo]
    kind = rec[0]
    if kind == SURROGATE:
        return None
    if kind == NOT_IN_CODE_PAGE:
        return NOT_IN_CODE_PAGE
    if kind == KINDS["X"]:
        return (kind, b"", b"", b"", 0, 0)
    if kind == KINDS["S"]:
        n = rec[1]
        code = (as_number(rec[2:2 + n]) + unit - first).to_bytes(n, "big")
        return (kind, code, b"", b"", 0, 0)
    if kind == KINDS["P"]:
        return (kind, b"", b"", b"", rec[1], 0)
    if kind == KINDS["U"]:
        return (kind, b"", b"", rec[2:2 + rec[1]], 0, 0)
    if kind == KINDS["G"]:
        return (kind, rec[2:2 + rec[1]], b"", b"", 0, 0)
    n = rec[1]
    inline = rec[2:2 + n]
    e = rec[2 + n]
    extra = rec[3 + n:3 + n + e]
    flag = rec[3 + n + e] if kind == KINDS["Z"] else 0
    return (kind, inline, extra, b"", 0, flag)


def c_array(kind, name, values, per_line):
    out = ["const %s %s[] = {" % (kind, name)]
    for i in range(0, len(values), per_line):
        out.append("    " + ", ".join(values[i:i + per_line]) + ",")
    out.append("};")
    return "\n".join(out)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    folder = sys.argv[1]
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[2] if len(sys.argv) == 3 else os.path.join(
        here, "..", "..", "jet", "index", "text_key_tables.cpp")

    parts = []
    for symbol, _, names, by in ORDERS:
        rules = (read_units_order if by == "units" else read_bytes_order)(folder, *names)
        runs = build_runs(rules)
        for unit in range(0x10000):
            if decode(runs, unit) != rules[unit]:
                raise AssertionError("%s: U+%04X does not read back" % (symbol, unit))
        records = b""
        offsets = []
        for _, rec in runs:
            offsets.append(len(records))
            records += rec
        base = symbol[1:]
        parts.append(c_array("std::uint16_t", "k%sFirst" % base,
                             ["0x%04X" % first for first, _ in runs], 12))
        parts.append(c_array("std::uint32_t", "k%sRecord" % base,
                             [str(o) for o in offsets], 14))
        parts.append(c_array("std::uint8_t", "k%sRecords" % base,
                             [str(b) for b in records], 18))
        parts.append("const std::size_t k%sRuns = %d;" % (base, len(runs)))

    sources = "\n".join("//   %s, %s" % names for _, _, names, _ in ORDERS)
    definitions = "\n".join(
        "const OrderRules {0}{{k{1}First, k{1}Record, k{1}Runs,\n"
        "{2}k{1}Records, sizeof(k{1}Records)}};".format(symbol, symbol[1:],
                                                         " " * (18 + len(symbol)))
        for symbol, _, _, _ in ORDERS)
    text = """\
// Generated by tools/text_key_tables/make_text_key_tables.py; do not edit.
//
// Derived from the index code data files of the Jackcess project:
{sources}
// Copyright (c) Health Market Science, Inc. and James Ahlborn, licensed under the Apache License,
// Version 2.0 (see NOTICE and tests/data/jackcess/LICENSE-Apache-2.0.txt). The layout of the runs
// and records is described in text_key_tables.h.
// clang-format off
#include "jet/index/text_key_tables.h"

namespace jet::index::text_key_tables {{
namespace {{

{body}

}}  // namespace

{definitions}

}}  // namespace jet::index::text_key_tables
""".format(sources=sources, body="\n\n".join(parts), definitions=definitions)
    with open(output, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
