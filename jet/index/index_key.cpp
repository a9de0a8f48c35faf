#include "jet/index/index_key.h"

#include <array>
#include <bit>

namespace jet::index {
namespace {

constexpr std::uint8_t kValueFlag = 0x7F;
constexpr std::uint8_t kNullFlag = 0x00;
// Yes/No has no Null; True sorts before False.
constexpr std::uint8_t kTrue = 0x00;
constexpr std::uint8_t kFalse = 0xFF;

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint64_t bits, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

// Two's complement integers order correctly as unsigned bytes once the sign bit is flipped.
void appendSigned(std::vector<std::uint8_t>& out, std::int64_t v, int bytes) {
    const std::uint64_t signBit = std::uint64_t{1} << (8 * bytes - 1);
    appendBigEndian(out, static_cast<std::uint64_t>(v) ^ signBit, bytes);
}

// IEEE numbers: positives get their sign bit set, negatives are inverted whole, so that
// larger magnitudes of negatives sort first.
void appendFloating(std::vector<std::uint8_t>& out, std::uint64_t bits, int bytes) {
    const std::uint64_t signBit = std::uint64_t{1} << (8 * bytes - 1);
    const std::uint64_t mask = bytes == 8 ? ~std::uint64_t{0} : (signBit << 1) - 1;
    appendBigEndian(out, (bits & signBit) ? (~bits & mask) : (bits | signBit), bytes);
}

bool appendValue(std::vector<std::uint8_t>& out, ColumnType type, const Value& value) {
    switch (type) {
        case ColumnType::YesNo:
            if (auto p = std::get_if<bool>(&value)) {
                out.push_back(*p ? kTrue : kFalse);
                return true;
            }
            return false;
        case ColumnType::Byte:
            if (auto p = std::get_if<std::uint8_t>(&value)) {
                out.push_back(*p);
                return true;
            }
            return false;
        case ColumnType::Integer:
            if (auto p = std::get_if<std::int16_t>(&value)) {
                appendSigned(out, *p, 2);
                return true;
            }
            return false;
        case ColumnType::Long:
            if (auto p = std::get_if<std::int32_t>(&value)) {
                appendSigned(out, *p, 4);
                return true;
            }
            return false;
        case ColumnType::Complex:
            if (auto p = std::get_if<ComplexId>(&value)) {
                appendSigned(out, p->id, 4);
                return true;
            }
            return false;
        case ColumnType::BigInt:
            if (auto p = std::get_if<std::int64_t>(&value)) {
                appendSigned(out, *p, 8);
                return true;
            }
            return false;
        case ColumnType::Currency:
            if (auto p = std::get_if<Currency>(&value)) {
                appendSigned(out, p->scaled, 8);
                return true;
            }
            return false;
        case ColumnType::Single:
            if (auto p = std::get_if<float>(&value)) {
                appendFloating(out, std::bit_cast<std::uint32_t>(*p), 4);
                return true;
            }
            return false;
        case ColumnType::Double:
            if (auto p = std::get_if<double>(&value)) {
                appendFloating(out, std::bit_cast<std::uint64_t>(*p), 8);
                return true;
            }
            return false;
        case ColumnType::DateTime:
            if (auto p = std::get_if<DateTime>(&value)) {
                appendFloating(out, std::bit_cast<std::uint64_t>(p->days), 8);
                return true;
            }
            return false;
        default:
            return false;
    }
}

// A GUID is keyed as 16 bytes in the order it is written ({00112233-4455-...}), cut into
// segments of eight bytes each followed by a length byte: 9 while more segments follow, else
// the count of bytes the segment holds. Descending keys invert everything but the 9s.
bool appendGuid(std::vector<std::uint8_t>& key, bool ascending, const Value& value) {
    const std::uint8_t flip = ascending ? 0x00 : 0xFF;
    const auto guid = std::get_if<Guid>(&value);
    if (guid == nullptr) {
        if (!isNull(value)) return false;
        key.push_back(kNullFlag ^ flip);
        return true;
    }
    const auto& b = guid->bytes;
    const std::array<std::uint8_t, 16> written{b[3],  b[2],  b[1],  b[0], b[5],  b[4],
                                               b[7],  b[6],  b[8],  b[9], b[10], b[11],
                                               b[12], b[13], b[14], b[15]};
    key.push_back(kValueFlag ^ flip);
    for (std::size_t i = 0; i < 8; ++i) key.push_back(written[i] ^ flip);
    key.push_back(9);
    for (std::size_t i = 8; i < 16; ++i) key.push_back(written[i] ^ flip);
    key.push_back(8 ^ flip);
    return true;
}

// Text keys end with their own markers, and a descending key inverts only what comes before the
// last of them, so the flag is inverted here and the rest by the encoder.
bool appendText(std::vector<std::uint8_t>& key, const KeyColumn& column, const Value& value) {
    if (!column.textOrder) return false;
    const std::uint8_t flip = column.ascending ? 0x00 : 0xFF;
    const auto text = std::get_if<std::string>(&value);
    if (text == nullptr) {
        if (!isNull(value)) return false;
        key.push_back(kNullFlag ^ flip);
        return true;
    }
    const auto encoded = encodeTextKey(*text, *column.textOrder, column.ascending);
    if (!encoded) return false;
    key.push_back(kValueFlag ^ flip);
    key.insert(key.end(), encoded->begin(), encoded->end());
    return true;
}

}  // namespace

bool canEncodeKeyColumn(ColumnType type) {
    switch (type) {
        case ColumnType::YesNo:
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::Complex:
        case ColumnType::BigInt:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::DateTime:
        case ColumnType::GUID:
            return true;
        default:
            return false;
    }
}

std::optional<KeyColumn> storedKeyColumnFor(const ColumnDef& column, bool ascending) {
    if (column.calculated) return std::nullopt;
    if (column.type == ColumnType::Text) {
        const auto order = generalTextOrder(column);
        if (!order) return std::nullopt;
        return KeyColumn{column.type, ascending, order};
    }
    if (!canEncodeKeyColumn(column.type)) return std::nullopt;
    return KeyColumn{column.type, ascending};
}

std::optional<KeyColumn> keyColumnFor(const ColumnDef& column, bool ascending) {
    return storedKeyColumnFor(column, ascending);
}

bool appendKeyColumn(std::vector<std::uint8_t>& key, const KeyColumn& column, const Value& value) {
    if (column.type == ColumnType::Text) return appendText(key, column, value);
    if (!canEncodeKeyColumn(column.type)) return false;
    if (column.type == ColumnType::GUID) return appendGuid(key, column.ascending, value);
    const std::size_t start = key.size();
    if (isNull(value) && column.type != ColumnType::YesNo) {
        key.push_back(kNullFlag);
    } else {
        key.push_back(kValueFlag);
        if (!appendValue(key, column.type, value)) {
            key.resize(start);
            return false;
        }
    }
    // A descending column stores the bitwise inverse of its ascending bytes, flag included.
    if (!column.ascending) {
        for (std::size_t i = start; i < key.size(); ++i)
            key[i] = static_cast<std::uint8_t>(~key[i]);
    }
    return true;
}

}  // namespace jet::index
