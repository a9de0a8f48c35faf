#include "jet/store/field_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "jet/base/error.h"
#include "jet/base/utf8.h"

namespace jet::store {
namespace {

template <typename T>
void writeLittleEndian(std::span<std::uint8_t> out, T value) {
    using U = std::make_unsigned_t<T>;
    auto bits = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        out[i] = static_cast<std::uint8_t>(bits & 0xFF);
        bits = static_cast<U>(bits >> 8);
    }
}

// Decodes UTF-8 into code points; malformed bytes become U+FFFD.
std::vector<char32_t> codePoints(const std::string& s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) out.push_back(nextCodePoint(s, i));
    return out;
}

// Text of ASCII characters other than U+0000, as most is: each byte is its own code point and
// UTF-16 unit, and the text can be written compressed.
bool plainAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b != 0 && b < 0x80;
    });
}

}  // namespace

std::size_t utf16Length(const std::string& utf8) {
    if (plainAscii(utf8)) return utf8.size();
    std::size_t n = 0;
    for (char32_t cp : codePoints(utf8)) n += cp >= 0x10000 ? 2 : 1;
    return n;
}

std::vector<std::uint8_t> encodeUnicodeText(const std::string& utf8, bool compress) {
    std::vector<std::uint8_t> out;
    if (plainAscii(utf8)) {
        if (compress && !utf8.empty()) {
            out.reserve(utf8.size() + 2);
            out.push_back(0xFF);
            out.push_back(0xFE);
            out.insert(out.end(), utf8.begin(), utf8.end());
        } else {
            out.resize(utf8.size() * 2, 0);
            for (std::size_t i = 0; i < utf8.size(); ++i)
                out[2 * i] = static_cast<std::uint8_t>(utf8[i]);
        }
        return out;
    }
    const auto cps = codePoints(utf8);
    // A 00 byte switches modes in the compressed form, so only text without U+0000 and with
    // every character below U+0100 is written compressed.
    bool compressible = compress && !cps.empty();
    for (char32_t cp : cps) {
        if (cp == 0 || cp > 0xFF) compressible = false;
    }
    if (compressible) {
        out.reserve(cps.size() + 2);
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char32_t cp : cps) out.push_back(static_cast<std::uint8_t>(cp));
        return out;
    }
    out.reserve(cps.size() * 2);
    appendUtf16(out, utf8);
    return out;
}

std::size_t fixedValueSize(ColumnType type) {
    switch (type) {
        case ColumnType::Byte:
            return 1;
        case ColumnType::Integer:
            return 2;
        case ColumnType::Long:
        case ColumnType::Single:
        case ColumnType::Complex:
            return 4;
        case ColumnType::BigInt:
        case ColumnType::Currency:
        case ColumnType::Double:
        case ColumnType::DateTime:
            return 8;
        case ColumnType::GUID:
            return 16;
        case ColumnType::Decimal:
            return 17;
        case ColumnType::DateTimeExtended:
            return 42;
        default:
            return 0;
    }
}

void encodeFixed(const ColumnDef& c, const Value& v, std::span<std::uint8_t> out) {
    if (out.size() < fixedValueSize(c.type)) {
        throw Error(ErrorCode::Unsupported, "Field '" + c.name + "' stores " +
                                                std::to_string(out.size()) +
                                                " bytes, too few for its type.");
    }
    const auto mismatch = [&]() -> Error {
        return Error(ErrorCode::TypeMismatch, "The value for field '" + c.name +
                                                  "' is not of its type (" +
                                                  columnTypeName(c.type) + ").");
    };
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    switch (c.type) {
        case ColumnType::Byte:
            if (auto p = std::get_if<std::uint8_t>(&v)) return void(out[0] = *p);
            throw mismatch();
        case ColumnType::Integer:
            if (auto p = std::get_if<std::int16_t>(&v)) return writeLittleEndian(out, *p);
            throw mismatch();
        case ColumnType::Long:
            if (auto p = std::get_if<std::int32_t>(&v)) return writeLittleEndian(out, *p);
            throw mismatch();
        case ColumnType::BigInt:
            if (auto p = std::get_if<std::int64_t>(&v)) return writeLittleEndian(out, *p);
            throw mismatch();
        case ColumnType::Currency:
            if (auto p = std::get_if<Currency>(&v)) return writeLittleEndian(out, p->scaled);
            throw mismatch();
        case ColumnType::Single:
            if (auto p = std::get_if<float>(&v)) {
                return writeLittleEndian(out, std::bit_cast<std::uint32_t>(*p));
            }
            throw mismatch();
        case ColumnType::Double:
            if (auto p = std::get_if<double>(&v)) {
                return writeLittleEndian(out, std::bit_cast<std::uint64_t>(*p));
            }
            throw mismatch();
        case ColumnType::DateTime:
            if (auto p = std::get_if<DateTime>(&v)) {
                return writeLittleEndian(out, std::bit_cast<std::uint64_t>(p->days));
            }
            throw mismatch();
        case ColumnType::GUID:
            if (auto p = std::get_if<Guid>(&v)) {
                std::copy(p->bytes.begin(), p->bytes.end(), out.begin());
                return;
            }
            throw mismatch();
        case ColumnType::Decimal:
            if (auto p = std::get_if<Decimal>(&v)) {
                // Sign byte, then four 32-bit little-endian words, most significant first.
                out[0] = p->negative && p->magnitude != 0 ? 0x80 : 0x00;
                for (std::size_t word = 0; word < 4; ++word) {
                    const auto w = static_cast<std::uint32_t>(p->magnitude >> (32 * (3 - word)));
                    writeLittleEndian(out.subspan(1 + word * 4), w);
                }
                return;
            }
            throw mismatch();
        default:
            throw Error(ErrorCode::Unsupported, std::string("Field '") + c.name + "' is of type " +
                                                    columnTypeName(c.type) +
                                                    ", which this engine does not write.");
    }
}

}  // namespace jet::store
