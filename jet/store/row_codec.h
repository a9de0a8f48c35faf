// Decoding one stored row into the values of its table's columns: the column count, the fixed
// area, the variable area with its offset table (Jet 3's jump table included), and the null
// mask at the end, which also holds the Yes/No values.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/format/schema.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/base/bytes.h"

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
    std::vector<std::uint32_t> varOffsets(ByteSpan row, std::size_t nullMaskSize) const;

    const file::PageFile& file_;
    const format::Format& fmt_;
    const TableDef& table_;
    std::uint16_t codePage_;
    mutable std::vector<std::optional<ByteSpan>> where_;  // decode()'s, kept between rows
};

}  // namespace jet::store
