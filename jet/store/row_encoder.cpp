#include "jet/store/row_encoder.h"

#include <algorithm>

#include "jet/base/text_codec.h"
#include "jet/base/utf8.h"
#include "jet/store/calculated_value.h"
#include "jet/store/field_encoder.h"
#include "jet/store/long_value.h"

namespace jet::store {

std::vector<std::uint8_t> longValuePlaceholder(const ColumnDef&, const std::vector<std::uint8_t>&) {
    return std::vector<std::uint8_t>(kLongValueReferenceSize, 0);
}

RowEncoder::RowEncoder(const format::Format& fmt, const TableDef& table, std::uint16_t codePage)
    : fmt_(fmt), table_(table), codePage_(codePage) {
    std::uint16_t highestNumber = 0;
    bool any = false;
    for (const auto& c : table.columns) {
        highestNumber = std::max(highestNumber, c.number);
        any = true;
        if (c.fixedLength && !(c.type == ColumnType::YesNo && !c.calculated)) {
            fixedSize_ = std::max(fixedSize_, std::size_t{c.fixedOffset} + c.size);
        }
        if (!c.fixedLength) varCount_ = std::max<std::uint16_t>(varCount_, c.varIndex + 1u);
        calculated_ = calculated_ || c.calculated;
    }
    columnCount_ = std::max<std::uint16_t>(table.maxColumns, any ? highestNumber + 1u : 0);
    varCount_ = std::max<std::uint16_t>(varCount_, table.varColumnCount);
    bySlot_.resize(varCount_);
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        if (!table.columns[i].fixedLength) bySlot_[table.columns[i].varIndex] = i;
    }
}

// A data page's header and one slot.
std::size_t RowEncoder::maxRowSize() const { return fmt_.pageSize - fmt_.dataRowCountOffset - 4; }

std::vector<std::uint8_t> RowEncoder::encodeText(const ColumnDef& c, const std::string& text,
                                                 bool compressible) const {
    if (!fmt_.jet3) return encodeUnicodeText(text, compressible);
    const std::uint16_t codePage = c.codePage != 0 ? c.codePage : codePage_;
    auto bytes = encodeCodePageText(text, codePage, ErrorCode::TypeMismatch,
                                    "The value for field '" + c.name + "'");
    // A Jet 3 Text field's size counts bytes, which a code page of two-byte characters fills
    // faster than characters.
    if (c.type == ColumnType::Text && c.size != 0 && bytes.size() > c.size) {
        throw Error(ErrorCode::ValueTooLong,
                    "The value for field '" + c.name + "' takes " + std::to_string(bytes.size()) +
                        " bytes in the database's code page, more than the field's size of " +
                        std::to_string(c.size) + ".");
    }
    return bytes;
}

std::vector<std::uint8_t> RowEncoder::storeLongValue(const ColumnDef& c,
                                                     const std::vector<std::uint8_t>& data,
                                                     const LongValueStore& longValues) const {
    if (data.size() <= kMaxInlineLongValue) return inlineLongValue(data);
    if (longValues) return longValues(c, data);
    throw Error(ErrorCode::Unsupported,
                "The new value of field '" + c.name + "' (" + std::to_string(data.size()) +
                    " bytes) would need long-value pages, which this engine does not write yet.");
}

std::vector<std::uint8_t> RowEncoder::encodeVariable(const ColumnDef& c, const Value& v,
                                                     const LongValueStore& longValues) const {
    if (c.calculated) {
        std::vector<std::uint8_t> wrapped = encodeCalculatedValue(c, v);
        if (c.type != ColumnType::Memo) return wrapped;
        return storeLongValue(c, wrapped, longValues);
    }
    switch (c.type) {
        case ColumnType::Text:
            if (auto s = std::get_if<std::string>(&v)) return encodeText(c, *s, c.compressedText);
            break;
        case ColumnType::Binary:
            if (auto b = std::get_if<Bytes>(&v)) return *b;
            break;
        case ColumnType::Memo:
        case ColumnType::OLE: {
            std::vector<std::uint8_t> data;
            if (auto s = std::get_if<std::string>(&v); s && c.type == ColumnType::Memo) {
                // Access compresses only memos of at most 1024 characters.
                data = encodeText(c, *s, c.compressedText && utf16Length(*s) <= 1024);
            } else if (auto b = std::get_if<Bytes>(&v); b && c.type == ColumnType::OLE) {
                data = *b;
            } else {
                break;
            }
            return storeLongValue(c, data, longValues);
        }
        default: {
            std::vector<std::uint8_t> out(fixedValueSize(c.type));
            encodeFixed(c, v, out);
            return out;
        }
    }
    throw Error(ErrorCode::TypeMismatch, "The value for field '" + c.name +
                                             "' is not of its type (" + columnTypeName(c.type) +
                                             ").");
}

std::vector<std::uint8_t> RowEncoder::encode(const std::vector<Value>& values,
                                             const std::vector<std::optional<ByteSpan>>& keep,
                                             std::size_t minSize,
                                             const LongValueStore& longValues) const {
    const std::size_t nullMaskSize = (columnCount_ + 7u) / 8u;
    std::vector<std::uint8_t> nullMask(nullMaskSize, 0);
    const auto markPresent = [&](const ColumnDef& c) {
        nullMask[c.number / 8] |= static_cast<std::uint8_t>(1u << (c.number % 8));
    };

    std::vector<std::uint8_t> row;
    {
        // Room for the row as it will most likely be: the bytes kept, a little for new values,
        // the trailer; growing it value by value would copy it again and again.
        std::size_t expected = fmt_.rowCountSize + fixedSize_ + 4u * varCount_ + nullMaskSize + 8u;
        for (const auto& k : keep) expected += k ? k->size() : 8u;
        row.reserve(std::max(expected, minSize));
    }
    row.resize(fmt_.rowCountSize + fixedSize_, 0);
    if (fmt_.jet3) {
        row[0] = static_cast<std::uint8_t>(columnCount_);
    } else {
        put16(row, 0, columnCount_);
    }
    for (std::size_t i = 0; i < table_.columns.size(); ++i) {
        const ColumnDef& c = table_.columns[i];
        if (c.type == ColumnType::YesNo && !c.calculated) {
            if (auto b = std::get_if<bool>(&values[i]); b && *b) markPresent(c);
            continue;
        }
        // Kept bytes are written as they stood, even where they decode to Null (a calculated
        // field's stored empty result).
        if (!c.fixedLength || (!keep[i] && isNull(values[i]))) continue;
        markPresent(c);
        const std::span<std::uint8_t> out(row.data() + fmt_.rowCountSize + c.fixedOffset, c.size);
        if (keep[i] && keep[i]->size() == c.size) {
            std::copy(keep[i]->begin(), keep[i]->end(), out.begin());
        } else {
            encodeFixed(c, values[i], out);
        }
    }

    std::vector<std::uint16_t> offsets(varCount_ + 1u, 0);
    if (varCount_ > 0) {
        // Variable columns in the order of their slots; slots of deleted columns get an empty
        // extent at the position where they would stand.
        for (std::size_t slot = 0; slot < varCount_; ++slot) {
            offsets[slot] = static_cast<std::uint16_t>(row.size());
            if (!bySlot_[slot]) continue;
            const std::size_t i = *bySlot_[slot];
            const ColumnDef* c = &table_.columns[i];
            if (!keep[i] && isNull(values[i]) && !(c->calculated && storesNullResult(*c))) {
                continue;
            }
            markPresent(*c);
            if (keep[i]) {
                row.insert(row.end(), keep[i]->begin(), keep[i]->end());
            } else {
                const auto bytes = encodeVariable(*c, values[i], longValues);
                row.insert(row.end(), bytes.begin(), bytes.end());
            }
            if (row.size() > maxRowSize()) break;  // reported below
        }
        offsets[varCount_] = static_cast<std::uint16_t>(row.size());
    }

    if (fmt_.jet3) {
        appendJet3Trailer(row, offsets, minSize, nullMaskSize);
        row.insert(row.end(), nullMask.begin(), nullMask.end());
        return row;
    }
    const std::size_t trailer = (varCount_ > 0 ? 2u + 2u * varCount_ + 2u : 0u) + nullMaskSize;
    if (row.size() + trailer > maxRowSize()) {
        throw Error(ErrorCode::ValueTooLong,
                    "Record is too large: a row of table '" + table_.name + "' would need " +
                        std::to_string(row.size() + trailer) + " bytes, more than the " +
                        std::to_string(maxRowSize()) + " a page holds.");
    }
    // Padding goes between the data and the trailer, so the offsets stay valid.
    if (row.size() + trailer < minSize) row.resize(minSize - trailer, 0);
    appendTrailer(row, offsets, nullMask);
    return row;
}

bool RowEncoder::encodeKeepingAllBut(ByteSpan old, const ColumnDef& column, ByteSpan value,
                                     std::size_t minSize, std::vector<std::uint8_t>& out) const {
    // A calculated column the old row lacks would be written with its stored empty result.
    if (fmt_.jet3 || calculated_ || !column.fixedLength || column.type == ColumnType::YesNo ||
        value.size() != column.size || old.size() < 2) {
        return false;
    }
    // The old row's head and null mask, as RowDecoder reads them.
    const std::size_t oldCount = u16(old, 0);
    const std::size_t oldMaskSize = (oldCount + 7u) / 8u;
    if (oldCount > columnCount_ || old.size() < 2u + oldMaskSize) return false;
    const ByteSpan oldMask = old.last(oldMaskSize);
    const std::size_t oldEnd = old.size() - oldMaskSize;  // the bytes before the null mask
    const auto present = [&](std::uint16_t number) {
        return number < oldCount && (oldMask[number / 8u] & (1u << (number % 8u))) != 0;
    };

    const std::size_t base = out.size();
    const auto refuse = [&] {
        out.resize(base);
        return false;
    };
    const std::size_t maskSize = (columnCount_ + 7u) / 8u;
    std::vector<std::uint8_t>& mask = mask_;
    mask.assign(maskSize, 0);
    const auto markPresent = [&](std::uint16_t number) {
        mask[number / 8u] |= static_cast<std::uint8_t>(1u << (number % 8u));
    };
    out.resize(base + 2u + fixedSize_, 0);
    const std::span<std::uint8_t> row(out.data() + base, 2u + fixedSize_);
    row[0] = static_cast<std::uint8_t>(columnCount_ & 0xFF);
    row[1] = static_cast<std::uint8_t>(columnCount_ >> 8);
    bool anyVariable = false;
    for (const ColumnDef& c : table_.columns) {
        if (c.type == ColumnType::YesNo) {
            if (present(c.number)) markPresent(c.number);
            continue;
        }
        if (!c.fixedLength) {
            anyVariable = anyVariable || present(c.number);
            continue;
        }
        const std::size_t at = 2u + c.fixedOffset;
        if (&c == &column) {
            std::copy(value.begin(), value.end(), row.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (present(c.number)) {
            if (at + c.size > oldEnd) return refuse();
            std::copy_n(old.begin() + static_cast<std::ptrdiff_t>(at), c.size,
                        row.begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            continue;
        }
        markPresent(c.number);
    }

    // The variable columns the old row holds, in the order of their slots: the old offset
    // table (read only when one of them is present, as RowDecoder does), then their bytes.
    std::size_t oldVarCount = 0;
    if (anyVariable) {
        if (oldEnd < 4) return refuse();
        oldVarCount = u16(old, oldEnd - 2);
        if (oldEnd < 4 + 2 * oldVarCount) return refuse();
    }
    const auto oldOffset = [&](std::size_t k) { return u16(old, oldEnd - 4 - 2 * k); };
    offsets_.assign(varCount_ + 1u, 0);
    for (std::size_t slot = 0; slot < varCount_; ++slot) {
        offsets_[slot] = static_cast<std::uint16_t>(out.size() - base);
        if (!bySlot_[slot]) continue;
        const ColumnDef& c = table_.columns[*bySlot_[slot]];
        if (!present(c.number) || c.varIndex >= oldVarCount) continue;
        const std::size_t start = oldOffset(c.varIndex);
        const std::size_t end = oldOffset(c.varIndex + 1u);
        if (end < start || end > old.size()) return refuse();
        markPresent(c.number);
        out.insert(out.end(), old.begin() + static_cast<std::ptrdiff_t>(start),
                   old.begin() + static_cast<std::ptrdiff_t>(end));
        if (out.size() - base > maxRowSize()) return refuse();
    }
    offsets_[varCount_] = static_cast<std::uint16_t>(out.size() - base);

    const std::size_t trailer = (varCount_ > 0 ? 2u + 2u * varCount_ + 2u : 0u) + maskSize;
    if (out.size() - base + trailer > maxRowSize()) return refuse();
    if (out.size() - base + trailer < minSize) out.resize(base + minSize - trailer, 0);
    appendTrailer(out, offsets_, mask);
    return true;
}

void RowEncoder::appendTrailer(std::vector<std::uint8_t>& row,
                               const std::vector<std::uint16_t>& offsets,
                               const std::vector<std::uint8_t>& nullMask) const {
    if (varCount_ > 0) {
        const std::size_t at = row.size();
        row.resize(at + 2u + 2u * varCount_ + 2u);
        put16(row, at, offsets[varCount_]);  // end of the variable data
        for (std::size_t k = 0; k < varCount_; ++k) {
            put16(row, at + 2 + 2 * k, offsets[varCount_ - 1 - k]);
        }
        put16(row, at + 2 + 2u * varCount_, varCount_);
    }
    row.insert(row.end(), nullMask.begin(), nullMask.end());
}

void RowEncoder::appendJet3Trailer(std::vector<std::uint8_t>& row,
                                   std::vector<std::uint16_t>& offsets, std::size_t minSize,
                                   std::size_t nullMaskSize) const {
    if (varCount_ == 0) offsets[0] = static_cast<std::uint16_t>(row.size());
    // The row ends in: eod, the offsets V-1 down to 0 (low bytes), the jump table (entry J-1
    // first), V, the null mask. J = (row length - 1) / 256 counts the row's own trailer, so it is
    // found by growing it until it holds.
    const auto trailerOf = [&](std::size_t jumps) {
        return 1u + varCount_ + jumps + 1u + nullMaskSize;
    };
    const auto jumpsFor = [&](std::size_t dataSize) {
        std::size_t jumps = 0;
        while ((dataSize + trailerOf(jumps) - 1) / 256 > jumps) ++jumps;
        return jumps;
    };
    if (row.size() + trailerOf(jumpsFor(row.size())) > maxRowSize()) {
        throw Error(ErrorCode::ValueTooLong,
                    "Record is too large: a row of table '" + table_.name + "' would need " +
                        std::to_string(row.size() + trailerOf(jumpsFor(row.size()))) +
                        " bytes, more than the " + std::to_string(maxRowSize()) + " a page holds.");
    }
    // Padding goes between the data and the trailer, so the offsets stay valid.
    while (row.size() + trailerOf(jumpsFor(row.size())) < minSize) row.push_back(0);
    const std::size_t jumps = jumpsFor(row.size());

    row.push_back(static_cast<std::uint8_t>(offsets[varCount_]));
    for (std::size_t k = varCount_; k-- > 0;) row.push_back(static_cast<std::uint8_t>(offsets[k]));
    // Jump entry k names the first offset (eod counting as offset V) at or past 256 x (k + 1).
    for (std::size_t k = jumps; k-- > 0;) {
        std::size_t first = 0;
        while (first <= varCount_ && offsets[first] < 256 * (k + 1)) ++first;
        row.push_back(static_cast<std::uint8_t>(first));
    }
    row.push_back(static_cast<std::uint8_t>(varCount_));
}

}  // namespace jet::store
