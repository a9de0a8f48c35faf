// Stored bytes of one column value to a jet::Value. Everything here is little-endian except where
// a comment says otherwise; every read is bounds-checked against the span it was given.
#include "jet/store/field_codec.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <string>
#include <type_traits>

#include "jet/error.h"
#include "jet/store/utf8.h"

namespace jet::store {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8


// UTF-16 code units in, UTF-8 out. A high surrogate waits for the next unit; one that is not
// followed by a low surrogate, and a lone low surrogate, become U+FFFD.
class Utf16ToUtf8 {
  public:
    explicit Utf16ToUtf8(std::size_t expectedUnits) { out_.reserve(expectedUnits); }

    void push(char16_t unit) {
        if (pendingHigh_ != 0) {
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                appendUtf8(out_,
                           0x10000 + ((char32_t{pendingHigh_} - 0xD800) << 10) + (unit - 0xDC00));
                pendingHigh_ = 0;
                return;
            }
            out_ += kReplacement;
            pendingHigh_ = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            pendingHigh_ = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            out_ += kReplacement;
        } else {
            appendUtf8(out_, unit);
        }
    }

    std::string finish() {
        if (pendingHigh_ != 0) out_ += kReplacement;
        pendingHigh_ = 0;
        return std::move(out_);
    }

  private:
    std::string out_;
    char16_t pendingHigh_ = 0;
};

// Owns an iconv descriptor that converts one Windows code page to UTF-8.
class CodePageConverter {
  public:
    explicit CodePageConverter(std::uint16_t codePage) {
        // glibc knows most Windows code pages as CPnnnn, a few only as WINDOWS-nnn.
        for (const char* prefix : {"CP", "WINDOWS-"}) {
            const std::string name = prefix + std::to_string(codePage);
            cd_ = iconv_open("UTF-8", name.c_str());
            if (cd_ != kInvalid) return;
        }
        throw Error(ErrorCode::Unsupported, "Text in code page " + std::to_string(codePage) +
                                                " cannot be read: the code page is unknown");
    }
    ~CodePageConverter() { iconv_close(cd_); }
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;
    iconv_t get() const { return cd_; }

  private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_ = kInvalid;
};

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

std::string decodeUnicodeText(ByteSpan bytes) {
    const std::size_t n = bytes.size();
    if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        // Access's compression: after the FF FE marker the text starts with one byte per
        // character (the high byte is 0). A 00 byte switches between that and plain UTF-16LE.
        // In UTF-16 mode the switch is only recognised where a code unit would start: Access
        // refuses to compress text holding a character whose low byte is 00, so no unit starts
        // with 00, while a unit may well end with one (e.g. 'a' as 61 00).
        Utf16ToUtf8 out(n);
        bool oneByte = true;
        std::size_t pos = 2;
        while (pos < n) {
            if (bytes[pos] == 0x00) {
                oneByte = !oneByte;
                ++pos;
            } else if (oneByte) {
                out.push(bytes[pos]);
                ++pos;
            } else if (n - pos >= 2) {
                out.push(static_cast<char16_t>(bytes[pos] | (bytes[pos + 1] << 8)));
                pos += 2;
            } else {
                break;  // half a code unit at the end carries no character
            }
        }
        return out.finish();
    }
    Utf16ToUtf8 out(n);
    for (std::size_t pos = 0; pos + 1 < n; pos += 2) {
        out.push(static_cast<char16_t>(bytes[pos] | (bytes[pos + 1] << 8)));
    }
    return out.finish();
}

std::string decodeCodePageText(ByteSpan bytes, std::uint16_t codePage) {
    if (codePage == 0) codePage = 1252;
    const CodePageConverter converter(codePage);

    std::string out;
    // Every code page Jet uses yields at most 3 UTF-8 bytes per input byte; a little slack covers
    // the final flush and the replacement characters.
    out.resize(bytes.size() * 3 + 16);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();

    auto grow = [&](std::size_t extra) {
        const std::size_t used = out.size() - dstLeft;
        out.resize(out.size() + extra);
        dst = out.data() + used;
        dstLeft = out.size() - used;
    };
    auto substitute = [&] {
        // Emit whatever the converter holds back (combining sequences) before the marker.
        if (dstLeft < 64) grow(64);
        iconv(converter.get(), nullptr, nullptr, &dst, &dstLeft);
        for (std::size_t i = 0; i + 1 < sizeof kReplacement; ++i) *dst++ = kReplacement[i];
        dstLeft -= sizeof kReplacement - 1;
    };

    while (inLeft > 0) {
        if (iconv(converter.get(), &in, &inLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            grow(inLeft * 3 + 64);
        } else if (errno == EILSEQ) {
            substitute();
            ++in;
            --inLeft;
        } else {
            // EINVAL: the text ends inside a multi-byte character.
            substitute();
            break;
        }
    }
    while (iconv(converter.get(), nullptr, nullptr, &dst, &dstLeft) ==
               static_cast<std::size_t>(-1) &&
           errno == E2BIG) {
        grow(64);
    }
    out.resize(out.size() - dstLeft);
    return out;
}

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
