#include "jet/store/calculated_value.h"

#include <algorithm>
#include <string>

#include "jet/store/field_codec.h"
#include "jet/store/field_encoder.h"

namespace jet::store {
namespace {

constexpr std::size_t kLengthOffset = 16;
constexpr std::size_t kDataOffset = 20;
constexpr std::size_t kTrailerSize = kCalculatedWrapperSize - kDataOffset;
constexpr std::size_t kDecimalSize = 16;
// A Decimal result's own length field counts the bytes after it. Access writes 14 where it
// computed the value (0 where the expression is a bare Decimal field); both read the same.
constexpr std::uint16_t kDecimalLength = kDecimalSize - 2;

void putLittleEndian(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v,
                     std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool isText(ColumnType t) { return t == ColumnType::Text || t == ColumnType::Memo; }

std::vector<std::uint8_t> wrap(const std::vector<std::uint8_t>& result) {
    std::vector<std::uint8_t> out(kDataOffset + result.size() + kTrailerSize, 0);
    putLittleEndian(out, kLengthOffset, result.size(), 4);
    std::copy(result.begin(), result.end(), out.begin() + kDataOffset);
    return out;
}

std::vector<std::uint8_t> decimalResult(const ColumnDef& column, const Decimal& d) {
    if ((d.magnitude >> 96) != 0 || d.scale > 28) {
        throw Error(ErrorCode::Overflow, "The result of calculated field '" + column.name +
                                             "' is too large for a Decimal.");
    }
    std::vector<std::uint8_t> out(kDecimalSize, 0);
    putLittleEndian(out, 0, kDecimalLength, 2);
    out[2] = d.scale;
    out[3] = d.negative && d.magnitude != 0 ? 0x80 : 0x00;
    putLittleEndian(out, 4, static_cast<std::uint64_t>(d.magnitude >> 64), 4);
    putLittleEndian(out, 8, static_cast<std::uint64_t>(d.magnitude), 8);
    return out;
}

}  // namespace

bool storesNullResult(const ColumnDef& column) { return !isText(column.type); }

Value decodeCalculatedValue(const ColumnDef& c, ByteSpan wrapped) {
    ByteSpan data = wrapped;
    if (wrapped.size() >= kDataOffset) {
        const std::size_t available = wrapped.size() - kDataOffset;
        data = wrapped.subspan(kDataOffset,
                               std::min<std::size_t>(u32(wrapped, kLengthOffset), available));
    }
    switch (c.type) {
        case ColumnType::YesNo:
            return !data.empty() && data[0] != 0;
        case ColumnType::Text:
        case ColumnType::Memo:
            return decodeUnicodeText(data);
        case ColumnType::Decimal: {
            if (data.size() < kDecimalSize) return Null{};
            Decimal d;
            d.scale = data[2];
            d.negative = data[3] & 0x80;
            const std::uint64_t low = u32(data, 8) | (std::uint64_t{u32(data, 12)} << 32);
            d.magnitude = u32(data, 4);
            d.magnitude = (d.magnitude << 64) | low;
            if (d.magnitude == 0) d.negative = false;
            return d;
        }
        default:
            if (data.empty()) return Null{};
            return decodeFixed(c.type, data, c.scale);
    }
}

std::vector<std::uint8_t> encodeCalculatedValue(const ColumnDef& c, const Value& v) {
    if (isNull(v)) return wrap({});
    const auto mismatch = [&] {
        return Error(ErrorCode::TypeMismatch, "The result of calculated field '" + c.name +
                                                  "' is not of its type (" +
                                                  columnTypeName(c.type) + ").");
    };
    switch (c.type) {
        case ColumnType::YesNo:
            if (const auto* b = std::get_if<bool>(&v)) {
                return wrap({static_cast<std::uint8_t>(*b ? 0xFF : 0x00)});
            }
            throw mismatch();
        case ColumnType::Text:
        case ColumnType::Memo:
            // Access compresses a Text result where it can and leaves a Memo result in UTF-16.
            if (const auto* s = std::get_if<std::string>(&v)) {
                return wrap(encodeUnicodeText(*s, c.type == ColumnType::Text));
            }
            throw mismatch();
        case ColumnType::Decimal:
            if (const auto* d = std::get_if<Decimal>(&v)) return wrap(decimalResult(c, *d));
            throw mismatch();
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::BigInt:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::Currency:
        case ColumnType::DateTime:
        case ColumnType::GUID: {
            std::vector<std::uint8_t> result(fixedValueSize(c.type));
            encodeFixed(c, v, result);
            return wrap(result);
        }
        default:
            throw Error(ErrorCode::Unsupported,
                        "Calculated field '" + c.name + "' has results of type " +
                            columnTypeName(c.type) + ", which this engine does not write.");
    }
}

}  // namespace jet::store
