// Stored bytes of one column value to a jet::Value. Everything here is little-endian except where
// a comment says otherwise; every read is bounds-checked against the span it was given.
#include "jet/store/field_codec.h"

#include <algorithm>
#include <bit>
#include <string>
#include <type_traits>

#include "jet/base/error.h"

namespace jet::store {

namespace {

template <typename T>
T readLittleEndian(ByteSpan bytes) {
    using Unsigned = std::make_unsigned_t<T>;
    Unsigned v = 0;
    for (std::size_t i = sizeof(T); i-- > 0;) v = static_cast<Unsigned>((v << 8) | bytes[i]);
    return static_cast<T>(v);
}

void requireSize(ColumnType type, ByteSpan bytes, std::size_t needed) {
    if (bytes.size() < needed) {
        throw Error(ErrorCode::Corrupt, std::string(columnTypeName(type)) + " value needs " +
                                            std::to_string(needed) + " bytes, only " +
                                            std::to_string(bytes.size()) + " are stored");
    }
}

// Date/Time Extended is stored as text: "<19 digits: days since 0001-01-01>:<19 digits: 100 ns
// ticks since midnight>:7\0". The ticks field is really 12 digits of seconds then 7 of fraction,
// which as one number is the tick count.
constexpr std::size_t kExtDateSize = 42;
constexpr std::size_t kExtDateFieldDigits = 19;
constexpr std::size_t kExtDateTicksOffset = kExtDateFieldDigits + 1;
constexpr std::int64_t kTicksPerDay = 86400LL * 10'000'000LL;

std::int64_t readExtDateField(ByteSpan bytes, std::size_t offset) {
    std::int64_t value = 0;
    for (std::size_t i = offset; i < offset + kExtDateFieldDigits; ++i) {
        const std::uint8_t c = bytes[i];
        if (c < '0' || c > '9' || __builtin_mul_overflow(value, 10, &value) ||
            __builtin_add_overflow(value, c - '0', &value)) {
            throw Error(ErrorCode::Corrupt,
                        "A DateTimeExtended value is not in Access's stored text form");
        }
    }
    return value;
}

}  // namespace

Value decodeFixed(ColumnType type, ByteSpan bytes, std::uint8_t scale) {
    switch (type) {
        case ColumnType::Byte:
            requireSize(type, bytes, 1);
            return bytes[0];
        case ColumnType::Integer:
            requireSize(type, bytes, 2);
            return readLittleEndian<std::int16_t>(bytes);
        case ColumnType::Long:
            requireSize(type, bytes, 4);
            return readLittleEndian<std::int32_t>(bytes);
        case ColumnType::BigInt:
            requireSize(type, bytes, 8);
            return readLittleEndian<std::int64_t>(bytes);
        case ColumnType::Currency:
            requireSize(type, bytes, 8);
            return Currency{readLittleEndian<std::int64_t>(bytes)};
        case ColumnType::Single:
            requireSize(type, bytes, 4);
            return std::bit_cast<float>(readLittleEndian<std::uint32_t>(bytes));
        case ColumnType::Double:
            requireSize(type, bytes, 8);
            return std::bit_cast<double>(readLittleEndian<std::uint64_t>(bytes));
        case ColumnType::DateTime:
            requireSize(type, bytes, 8);
            return DateTime{std::bit_cast<double>(readLittleEndian<std::uint64_t>(bytes))};
        case ColumnType::GUID: {
            requireSize(type, bytes, 16);
            Guid guid;
            std::copy_n(bytes.begin(), 16, guid.bytes.begin());
            return guid;
        }
        case ColumnType::Decimal:
            return decodeDecimal(bytes, scale);
        case ColumnType::Complex:
            requireSize(type, bytes, 4);
            return ComplexId{readLittleEndian<std::int32_t>(bytes)};
        case ColumnType::DateTimeExtended:
            return decodeDateTimeExtended(bytes);
        case ColumnType::Binary:
            // A fixed-length Binary column: the stored bytes are the value.
            return Bytes(bytes.begin(), bytes.end());
        case ColumnType::YesNo:
        case ColumnType::Text:
        case ColumnType::OLE:
        case ColumnType::Memo:
            break;
    }
    throw Error(ErrorCode::Unsupported, std::string(columnTypeName(type)) + " (type code " +
                                            std::to_string(static_cast<int>(type)) +
                                            ") is not a fixed-size value");
}

Decimal decodeDecimal(ByteSpan bytes17, std::uint8_t scale) {
    requireSize(ColumnType::Decimal, bytes17, 17);
    // The 16 magnitude bytes are four 32-bit little-endian words, most significant word first.
    Decimal d;
    for (std::size_t word = 0; word < 4; ++word) {
        d.magnitude =
            (d.magnitude << 32) | readLittleEndian<std::uint32_t>(bytes17.subspan(1 + word * 4));
    }
    d.scale = scale;
    // A zero keeps no sign: Access's -0 and 0 are the same number.
    d.negative = (bytes17[0] & 0x80) != 0 && d.magnitude != 0;
    return d;
}

DateTimeExtended decodeDateTimeExtended(ByteSpan bytes) {
    requireSize(ColumnType::DateTimeExtended, bytes, kExtDateSize);
    if (bytes[kExtDateFieldDigits] != ':' ||
        bytes[kExtDateTicksOffset + kExtDateFieldDigits] != ':') {
        throw Error(ErrorCode::Corrupt,
                    "A DateTimeExtended value is not in Access's stored text form");
    }
    DateTimeExtended v;
    v.days = readExtDateField(bytes, 0);
    const std::int64_t ticks = readExtDateField(bytes, kExtDateTicksOffset);
    // The tick field can hold more than a day; the surplus belongs to the day count.
    if (__builtin_add_overflow(v.days, ticks / kTicksPerDay, &v.days)) {
        throw Error(ErrorCode::Corrupt, "A DateTimeExtended value is out of range");
    }
    v.ticks = ticks % kTicksPerDay;
    return v;
}

}  // namespace jet::store
