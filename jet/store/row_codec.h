// Decoding one stored row into the values of its table's columns: the column count, the fixed
// area, the variable area with its offset table (Jet 3's jump table included), and the null
// mask at the end, which also holds the Yes/No values.
//
// A row holds N columns: the columns its table had when it was written, dropped ones included
// (a column's number never changes). V of them are variable-length. Jet 4 and ACE store it so,
// every count and offset 2 bytes, little-endian, every offset counted from the row's first byte:
//
//   SIZE          DESCRIPTION
//   2             N
//   F             fixed area: a fixed-length column lies at 2 + the fixed offset its entry in
//                 the definition gives; Yes/No columns take no room here
//   ...           variable area: the variable columns, in the order of their variable index
//   ...           padding a writer may leave (zeros), so that a row rewritten in place keeps
//                 its extent
//   2             eod: the end of the variable area
//   2 x V         the offsets of variable columns V-1 down to 0
//   2             V
//   (N + 7) / 8   null mask
//
// A row is read from both ends: N from the front, which sizes the null mask at the back; V just
// before the mask; offset 0 just before V. Variable column i is the bytes from offset i up to
// offset i+1, the last of them up to eod; a Null one has no bytes. A row with no variable
// columns (V = 0) has no eod, offsets or V: the null mask follows the fixed area (and padding).
// Memo and OLE columns hold the reference long_value.h describes, calculated columns the
// wrapper of calculated_value.h.
//
// The null mask has one bit per column number, from the low bit of its first byte:
//
//       byte 0                    byte 1
//     +-------------------------+-------------------------+----
//     |  7  6  5  4  3  2  1  0 | 15 14 13 12 11 10  9  8 | ...    column numbers
//     +-------------------------+-------------------------+----
//
// A set bit means the column holds a value, a clear bit Null; for a Yes/No column the bit is the
// value. Columns numbered N or more, and variable columns whose index is V or more, were added
// after the row was written and read as Null (Yes/No as false).
//
// Jet 3 has 1-byte counts and offsets, and a jump table for rows past 255 bytes:
//
//   SIZE          DESCRIPTION
//   1             N
//   F             fixed area, at 1 + the fixed offset
//   ...           variable area
//   1             eod, low byte
//   V             the offsets of variable columns V-1 down to 0, low bytes
//   J             jump table, entry J-1 first: J = (row length - 1) / 256
//   1             V
//   (N + 7) / 8   null mask
//
// Counting eod as offset V, jump entry k is the index of the first offset at or past
// 256 x (k + 1), and each offset adds 256 for every entry at or below its index. J follows the
// row's length, so entry J-1 is unused (it still takes its byte) when the offsets start below
// 256 x J. Jet 3 text is in the database's code page (or the column's own).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"

namespace jet::store {

class RowDecoder {
public:
    RowDecoder(const file::PageFile& file, const format::Format& fmt, const TableDef& table,
               std::uint16_t codePage);

    // Fills `out` with one value per column, in the table's column order. Columns added after
    // the row was written read as Null (Yes/No as false). With `only`, the columns it does not
    // mark are left Null without being read. Throws Error(Corrupt).
    void decode(ByteSpan row, std::vector<Value>& out,
                const std::vector<bool>* only = nullptr) const;

    // Where each column's stored bytes lie in the row: nullopt for Null (and for Yes/No, whose
    // value is the null-mask bit). A writer keeps these bytes for columns it does not change.
    // With `only`, the columns it does not mark are left nullopt.
    void locate(ByteSpan row, std::vector<std::optional<ByteSpan>>& out,
                const std::vector<bool>* only = nullptr) const;

    // The bytes of fixed-length column `c` (not a Yes/No field) as `row` stores them; nullopt
    // when the row holds it as Null or was written before it was added.
    std::optional<ByteSpan> fixedColumn(ByteSpan row, const ColumnDef& c) const;

private:
    // A row's column count and null mask.
    struct Head {
        std::size_t columnCount = 0;
        ByteSpan nullMask;
        bool present(std::uint16_t number) const {
            return number < columnCount && (nullMask[number / 8] & (1u << (number % 8)));
        }
    };
    Head head(ByteSpan row) const;
    std::optional<ByteSpan> fixedColumn(ByteSpan row, const Head& h, const ColumnDef& c) const;
    Value decodeColumn(const ColumnDef& c, ByteSpan bytes) const;
    Value decodeCalculated(const ColumnDef& c, ByteSpan bytes) const;
    // Fills `offsets`.
    void varOffsets(ByteSpan row, std::size_t nullMaskSize,
                    std::vector<std::uint32_t>& offsets) const;

    const file::PageFile& file_;
    const format::Format& fmt_;
    const TableDef& table_;
    std::uint16_t codePage_;
    mutable std::vector<std::optional<ByteSpan>> where_;  // decode()'s, kept between rows
    mutable std::vector<std::uint32_t> offsets_;          // locate()'s, kept between rows
};

}  // namespace jet::store
