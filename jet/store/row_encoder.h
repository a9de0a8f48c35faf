// Encoding a row of values into the stored row layout (row_codec.h): column count, fixed area,
// variable area, end-of-data offset, variable offsets (backwards), Jet 3's jump table, variable
// count, null mask. Jet 3 text goes in the database's code page (or the column's own), and a
// character the code page cannot hold is refused, never replaced. Calculated columns take the
// wrapper calculated_value.h describes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"

namespace jet::store {

// Writes a long value that does not stay in the row and gives the column bytes for it.
using LongValueStore =
    std::function<std::vector<std::uint8_t>(const ColumnDef&, const std::vector<std::uint8_t>&)>;

// A long-value store that writes nothing and gives a reference's worth of zeros: for working out
// the size of a row, or whether it can be encoded at all, without changing the file.
std::vector<std::uint8_t> longValuePlaceholder(const ColumnDef&, const std::vector<std::uint8_t>&);

class RowEncoder {
public:
    // `codePage` is the database's, for Jet 3 text (0 for Windows-1252).
    RowEncoder(const format::Format& fmt, const TableDef& table, std::uint16_t codePage = 0);

    // `values` in the table's column order. Where `keep[i]` holds bytes, those stored bytes are
    // written unchanged (columns the statement does not change keep exactly what they had).
    // The result is padded to at least `minSize` bytes, so that a row rewritten in place keeps
    // its extent. Throws Error when the row would exceed the largest row a page can hold.
    // Long values that need pages of their own go through `longValues`; without one they are
    // refused.
    std::vector<std::uint8_t> encode(const std::vector<Value>& values,
                                     const std::vector<std::optional<ByteSpan>>& keep,
                                     std::size_t minSize,
                                     const LongValueStore& longValues = nullptr) const;

    // What encode() gives for the stored row `old` with every column kept as it stands but
    // `column`, fixed-length and not a Yes/No field, which takes the stored bytes `value`:
    // worked out from the bytes alone, without values, and appended to `out`. A row written
    // before the column was added gains it, with the columns added since then as Null. False,
    // with `out` as it was, for what encode() must do itself: a Jet 3 row, a table with
    // calculated columns, a row that does not read cleanly or would not fit a page.
    bool encodeKeepingAllBut(ByteSpan old, const ColumnDef& column, ByteSpan value,
                             std::size_t minSize, std::vector<std::uint8_t>& out) const;

    // The largest row a data page holds.
    std::size_t maxRowSize() const;

private:
    std::vector<std::uint8_t> encodeVariable(const ColumnDef& c, const Value& v,
                                             const LongValueStore& longValues) const;
    // The column bytes of a Memo or OLE value (or a Memo result): inline when small, else
    // through `longValues`.
    std::vector<std::uint8_t> encodeText(const ColumnDef& c, const std::string& text,
                                         bool compressible) const;
    // Jet 4's and ACE's trailer, appended to `row` (the fixed and variable data, padded):
    // the end of the variable data, the offsets backwards (`offsets` holds the end last), the
    // variable count, then the null mask.
    void appendTrailer(std::vector<std::uint8_t>& row, const std::vector<std::uint16_t>& offsets,
                       const std::vector<std::uint8_t>& nullMask) const;
    // Jet 3's offset table, jump table and variable count, appended to `row` (the fixed and
    // variable data; `offsets` holds the end of the variable data last), padded first to make the
    // whole row at least `minSize` bytes with the null mask.
    void appendJet3Trailer(std::vector<std::uint8_t>& row, std::vector<std::uint16_t>& offsets,
                           std::size_t minSize, std::size_t nullMaskSize) const;
    std::vector<std::uint8_t> storeLongValue(const ColumnDef& c,
                                             const std::vector<std::uint8_t>& data,
                                             const LongValueStore& longValues) const;

    const format::Format& fmt_;
    const TableDef& table_;
    std::uint16_t codePage_;
    std::uint16_t columnCount_ = 0;  // includes deleted columns: the null mask is indexed by number
    std::uint16_t varCount_ = 0;     // slots in the variable offset table
    std::size_t fixedSize_ = 0;
    // Per variable slot, the position among the columns of the column stored there; none for
    // the slots of deleted columns.
    std::vector<std::optional<std::size_t>> bySlot_;
    bool calculated_ = false;  // whether the table has calculated columns
    // encodeKeepingAllBut's, kept between rows: the new row's variable offsets and null mask.
    mutable std::vector<std::uint16_t> offsets_;
    mutable std::vector<std::uint8_t> mask_;
};

}  // namespace jet::store
