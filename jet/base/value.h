// A cell value as the engine hands it out: one alternative per Access column type, and Null.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace jet {

// Column type codes as they are stored in a table definition.
enum class ColumnType : std::uint8_t {
    YesNo = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    OLE = 0x0B,
    Memo = 0x0C,
    GUID = 0x0F,
    Decimal = 0x10,  // "Numeric" in the file format
    Complex = 0x12,  // attachments and multi-value columns: the row holds the complex id
    BigInt = 0x13,
    DateTimeExtended = 0x14,
};

// The type's name as the dump and the schema print it, e.g. "Long", "YesNo".
const char* columnTypeName(ColumnType type);
bool isKnownColumnType(std::uint8_t code);

struct Null {
    bool operator==(const Null&) const = default;
};

// Currency: a 64-bit integer scaled by 10,000.
struct Currency {
    std::int64_t scaled = 0;
    bool operator==(const Currency&) const = default;
};

// Decimal: sign, 96-bit magnitude (held in 128 bits) and scale (0..28).
struct Decimal {
    // __extension__: the 128-bit integer is a GCC/Clang extension that -Wpedantic rejects.
    __extension__ unsigned __int128 magnitude = 0;
    std::uint8_t scale = 0;
    bool negative = false;
    bool operator==(const Decimal&) const = default;
};

// Date/Time: days since 1899-12-30; the fraction is the time of day, also for negative days.
struct DateTime {
    double days = 0;
    bool operator==(const DateTime&) const = default;
};

// Date/Time Extended (Access 2019): the stored text, kept as read, plus the decoded parts.
struct DateTimeExtended {
    std::int64_t days = 0;   // days since 0001-01-01
    std::int64_t ticks = 0;  // 100 ns units since midnight
    bool operator==(const DateTimeExtended&) const = default;
};

struct Guid {
    std::array<std::uint8_t, 16> bytes{};  // as stored (first three groups little-endian)
    bool operator==(const Guid&) const = default;
};

struct ComplexId {
    std::int32_t id = 0;
    bool operator==(const ComplexId&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// Text and Memo values are UTF-8 std::string. Binary and OLE are Bytes.
using Value = std::variant<Null, bool, std::uint8_t, std::int16_t, std::int32_t, std::int64_t,
                           Currency, float, double, DateTime, DateTimeExtended, Decimal, Guid,
                           ComplexId, std::string, Bytes>;

inline bool isNull(const Value& v) { return std::holds_alternative<Null>(v); }

// Canonical text forms (the dump's and the CSV export's):
std::string formatSingle(float v);            // shortest text that reads back as the same float
std::string formatDouble(double v);           // shortest round-trip text
std::string formatCurrency(Currency v);       // exactly four decimals: "-12.3400"
std::string formatDecimal(const Decimal& v);  // plain notation, trailing fraction zeros removed
std::string formatDateTime(DateTime v);       // "YYYY-MM-DDTHH:MM:SS", rounded to the second
std::string formatDateTimeExtended(const DateTimeExtended& v);  // "...THH:MM:SS.fffffff"
std::string formatGuid(const Guid& v);  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::string formatHex(const Bytes& v);  // "0x" + lower-case hex (also a field of unknown type)

}  // namespace jet
