#!/usr/bin/env python3
"""Writes jet/index/text_key_tables.cpp: the character rules of Access's General sort orders.

Usage: make_text_key_tables.py DATA_DIR [OUTPUT]

DATA_DIR holds the index code data files of the Jackcess project (Apache License 2.0), found in
its source tree under src/main/resources/com/healthmarketscience/jackcess/:

  index_codes_genleg.txt, index_codes_ext_genleg.txt   General order of Jet 4 / Access 2007
  index_codes_gen.txt,    index_codes_ext_gen.txt      General order of Access 2010 and later

(index_codes_gen_97.txt and index_mappings_ext_gen_97.txt describe the General order of Access 97
in the same spirit; they are not read yet.)

Each data file has one line per UTF-16 code unit, in order, leaving out the surrogates
U+D800..U+DFFF: the first file covers U+0000..U+00FF, the "ext" file U+0100..U+FFFF. A line is a
letter naming the rule and its comma-separated hex byte strings (an odd-length string has lost a
leading zero):

  S<inline>                    sorts by <inline>
  I<inline>,<extra>            sorts by <inline>, told apart from its base letter by <extra>
  U<mark>                      left out of the codes, marked after them by position and <mark>
  P<add>                       left out, adds <add> to the last extra byte
  Z<inline>,<extra>,<1 or "">  like I (the extra may be empty) with a two-bit case/width flag
  X                            ignored entirely

The output groups consecutive code units into runs: a run of S lines whose codes count up by one
(as big-endian numbers of one length), a run of X lines, or a single line of another kind. The
encoder finds a code unit's run by binary search. The script reads its own output back and
compares every code unit with the data files before writing anything.
"""

import os
import re
import sys

KINDS = {"S": 0, "I": 1, "U": 2, "P": 3, "Z": 4, "X": 5}
SURROGATE = 6  # computed by the encoder, not listed in the data files
SURROGATES = range(0xD800, 0xE000)

ORDERS = [
    ("kGeneralLegacy", "index_codes_genleg.txt", "index_codes_ext_genleg.txt"),
    ("kGeneral", "index_codes_gen.txt", "index_codes_ext_gen.txt"),
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
    if letter == "S":
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
    if letter in "SIZ" and not inline:
        raise ValueError("line without codes: " + line)
    return (kind, inline, extra, mark, add, flag)


def read_order(folder, low_name, ext_name):
    """The parsed rule of every code unit U+0000..U+FFFF (None for surrogates)."""
    lines = []
    for name, count in ((low_name, 0x100), (ext_name, 0x10000 - 0x100 - len(SURROGATES))):
        with open(os.path.join(folder, name), encoding="ascii") as f:
            body = [l.rstrip("\r\n") for l in f.read().split("\n")]
        while body and body[-1] == "":
            body.pop()
        if len(body) != count:
            raise ValueError("%s: %d lines, expected %d" % (name, len(body), count))
        lines.extend(body)
    rules = []
    at = iter(lines)
    for unit in range(0x10000):
        rules.append(None if unit in SURROGATES else parse_line(next(at)))
    return rules


def as_number(b):
    return int.from_bytes(b, "big")


def build_runs(rules):
    """[(first unit, record bytes)] covering U+0000..U+FFFF."""
    runs = []
    unit = 0
    while unit < 0x10000:
        rule = rules[unit]
        first = unit
        unit += 1
        if rule is None:
            while unit < 0x10000 and rules[unit] is None:
                unit += 1
            runs.append((first, bytes([SURROGATE])))
            continue
        kind, inline, extra, mark, add, flag = rule
        if kind == KINDS["X"]:
            while unit < 0x10000 and rules[unit] is not None and rules[unit][0] == kind:
                unit += 1
            runs.append((first, bytes([kind])))
        elif kind == KINDS["S"]:
            while unit < 0x10000 and rules[unit] is not None and rules[unit][0] == kind:
                nxt = rules[unit][1]
                if len(nxt) != len(inline) or as_number(nxt) != as_number(inline) + unit - first:
                    break
                unit += 1
            runs.append((first, bytes([kind, len(inline)]) + inline))
        elif kind == KINDS["I"]:
            runs.append((first, bytes([kind, len(inline)]) + inline + bytes([len(extra)]) + extra))
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
    for symbol, low_name, ext_name in ORDERS:
        rules = read_order(folder, low_name, ext_name)
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

    sources = ", ".join(name for _, low, ext in ORDERS for name in (low, ext))
    sources = sources.replace(", index_codes_gen.txt", ",\n//   index_codes_gen.txt")
    text = """\
// Generated by tools/text_key_tables/make_text_key_tables.py; do not edit.
//
// Derived from the index code data files of the Jackcess project:
//   {sources}
// Copyright (c) Health Market Science, Inc., licensed under the Apache License, Version 2.0 (see
// NOTICE and tests/data/jackcess/LICENSE-Apache-2.0.txt). The layout of the runs and records is
// described in text_key_tables.h.
// clang-format off
#include "jet/index/text_key_tables.h"

namespace jet::index::text_key_tables {{
namespace {{

{body}

}}  // namespace

const OrderRules kGeneralLegacy{{kGeneralLegacyFirst, kGeneralLegacyRecord, kGeneralLegacyRuns,
                                kGeneralLegacyRecords, sizeof(kGeneralLegacyRecords)}};
const OrderRules kGeneral{{kGeneralFirst, kGeneralRecord, kGeneralRuns, kGeneralRecords,
                          sizeof(kGeneralRecords)}};

}}  // namespace jet::index::text_key_tables
""".format(sources=sources, body="\n\n".join(parts))
    with open(output, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
