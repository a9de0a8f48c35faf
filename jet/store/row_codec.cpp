#include "jet/store/row_codec.h"

#include <string>

#include "jet/store/calculated_value.h"
#include "jet/store/field_codec.h"
#include "jet/store/long_value.h"

namespace jet::store {
namespace {

bool isLong(ColumnType t) { return t == ColumnType::Memo || t == ColumnType::OLE; }

}  // namespace

RowDecoder::RowDecoder(const file::PageFile& file, const format::Format& fmt, const TableDef& table,
                       std::uint16_t codePage)
    : file_(file), fmt_(fmt), table_(table), codePage_(codePage) {}

void RowDecoder::varOffsets(ByteSpan row, std::size_t nullMaskSize,
                            std::vector<std::uint32_t>& offsets) const {
    offsets.clear();
    if (row.size() < nullMaskSize + fmt_.rowCountSize + 1) corrupt("a row too short to decode");
    const std::size_t end = row.size() - nullMaskSize;  // first byte of the null mask
    if (!fmt_.jet3) {
        const std::uint16_t count = u16(row, end - 2, "a row's variable column count");
        if (end < 4 + std::size_t{count} * 2) corrupt("a row's offset table overruns the row");
        offsets.reserve(count + 1u);
        // Offsets are stored backwards from the count; the last entry is the end of the data.
        for (std::size_t i = 0; i <= count; ++i) offsets.push_back(u16(row, end - 4 - i * 2));
        return;
    }
    // Jet 3: one-byte offsets, extended by a jump table that records, for each 256-byte
    // boundary, the first variable column that lies past it.
    const std::uint8_t count = u8(row, end - 1, "a row's variable column count");
    std::size_t jumps = (row.size() - 1) / 256;
    if (end < 2 + jumps + std::size_t{count}) corrupt("a row's offset table overruns the row");
    const std::size_t colOffsetPos = end - 2 - jumps;
    // The jump table may end in an unused entry, which still takes its byte.
    if ((colOffsetPos - count) / 256 < jumps) --jumps;
    std::size_t jumpsUsed = 0;
    offsets.reserve(count + 1u);
    for (std::size_t i = 0; i <= count; ++i) {
        while (jumpsUsed < jumps && i == u8(row, end - 2 - jumpsUsed)) ++jumpsUsed;
        if (colOffsetPos < i) corrupt("a row's offset table overruns the row");
        offsets.push_back(static_cast<std::uint32_t>(u8(row, colOffsetPos - i) + jumpsUsed * 256));
    }
}

RowDecoder::Head RowDecoder::head(ByteSpan row) const {
    Head h;
    h.columnCount = fmt_.rowCountSize == 1 ? u8(row, 0, "a row") : u16(row, 0, "a row");
    const std::size_t nullMaskSize = (h.columnCount + 7) / 8;
    if (row.size() < fmt_.rowCountSize + nullMaskSize) corrupt("a row shorter than its null mask");
    h.nullMask = row.subspan(row.size() - nullMaskSize);
    return h;
}

std::optional<ByteSpan> RowDecoder::fixedColumn(ByteSpan row, const Head& h,
                                                const ColumnDef& c) const {
    if (!h.present(c.number)) return std::nullopt;
    return slice(row.first(row.size() - h.nullMask.size()),
                 fmt_.rowCountSize + std::size_t{c.fixedOffset}, c.size, "a fixed-length column");
}

std::optional<ByteSpan> RowDecoder::fixedColumn(ByteSpan row, const ColumnDef& c) const {
    return fixedColumn(row, head(row), c);
}

void RowDecoder::locate(ByteSpan row, std::vector<std::optional<ByteSpan>>& out,
                        const std::vector<bool>* only) const {
    out.assign(table_.columns.size(), std::nullopt);
    const Head h = head(row);
    std::vector<std::uint32_t>& offsets = offsets_;
    bool haveOffsets = false;
    for (std::size_t i = 0; i < table_.columns.size(); ++i) {
        const ColumnDef& c = table_.columns[i];
        if (only != nullptr && !(*only)[i]) continue;
        if (c.type == ColumnType::YesNo && !c.calculated) continue;
        if (c.fixedLength) {
            out[i] = fixedColumn(row, h, c);
            continue;
        }
        if (!h.present(c.number)) continue;
        if (!haveOffsets) {
            varOffsets(row, h.nullMask.size(), offsets);
            haveOffsets = true;
        }
        if (c.varIndex + 1u >= offsets.size()) continue;  // added after the row was written
        const std::uint32_t start = offsets[c.varIndex];
        const std::uint32_t end = offsets[c.varIndex + 1u];
        if (end < start) corrupt("a variable-length column with a negative length");
        out[i] = slice(row, start, end - start, "a variable-length column");
    }
}

void RowDecoder::decode(ByteSpan row, std::vector<Value>& out,
                        const std::vector<bool>* only) const {
    std::vector<std::optional<ByteSpan>>& where = where_;
    locate(row, where, only);
    out.assign(table_.columns.size(), Null{});
    const Head h = head(row);
    for (std::size_t i = 0; i < table_.columns.size(); ++i) {
        const ColumnDef& c = table_.columns[i];
        if (only != nullptr && !(*only)[i]) continue;
        if (c.type == ColumnType::YesNo && !c.calculated) {
            out[i] = h.present(c.number);
        } else if (where[i]) {
            out[i] = c.calculated ? decodeCalculated(c, *where[i]) : decodeColumn(c, *where[i]);
        }
    }
}

Value RowDecoder::decodeColumn(const ColumnDef& c, ByteSpan bytes) const {
    switch (c.type) {
        case ColumnType::Text:
            return fmt_.jet3 ? decodeCodePageText(bytes, c.codePage ? c.codePage : codePage_)
                             : decodeUnicodeText(bytes);
        case ColumnType::Binary:
            return Bytes(bytes.begin(), bytes.end());
        case ColumnType::Memo: {
            const auto data = readLongValue(file_, fmt_, bytes);
            return fmt_.jet3 ? decodeCodePageText(data, c.codePage ? c.codePage : codePage_)
                             : decodeUnicodeText(data);
        }
        case ColumnType::OLE:
            return readLongValue(file_, fmt_, bytes);
        default:
            // A type this engine does not know reads as the bytes the row holds for it.
            if (!isKnownColumnType(static_cast<std::uint8_t>(c.type))) {
                return Bytes(bytes.begin(), bytes.end());
            }
            return decodeFixed(c.type, bytes, c.scale);
    }
}

Value RowDecoder::decodeCalculated(const ColumnDef& c, ByteSpan bytes) const {
    if (!isLong(c.type)) return decodeCalculatedValue(c, bytes);
    return decodeCalculatedValue(c, readLongValue(file_, fmt_, bytes));
}

}  // namespace jet::store
