// Bounds-checked little-endian reads from stored bytes. A read outside the span means the
// structure lied about its lengths: that is a damaged file, never undefined behaviour.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "jet/base/error.h"

namespace jet {

using ByteSpan = std::span<const std::uint8_t>;

[[noreturn]] inline void corrupt(const std::string& what) { throw Error(ErrorCode::Corrupt, what); }

inline void need(ByteSpan b, std::size_t offset, std::size_t length, const char* what) {
    if (offset > b.size() || length > b.size() - offset) {
        corrupt(std::string(what) + " lies outside its page");
    }
}

inline std::uint8_t u8(ByteSpan b, std::size_t off, const char* what = "a field") {
    need(b, off, 1, what);
    return b[off];
}
inline std::uint16_t u16(ByteSpan b, std::size_t off, const char* what = "a field") {
    need(b, off, 2, what);
    return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}
inline std::uint32_t u24(ByteSpan b, std::size_t off, const char* what = "a field") {
    need(b, off, 3, what);
    return b[off] | (b[off + 1] << 8) | (static_cast<std::uint32_t>(b[off + 2]) << 16);
}
inline std::uint32_t u32(ByteSpan b, std::size_t off, const char* what = "a field") {
    need(b, off, 4, what);
    return b[off] | (b[off + 1] << 8) | (static_cast<std::uint32_t>(b[off + 2]) << 16) |
           (static_cast<std::uint32_t>(b[off + 3]) << 24);
}
inline double f64(ByteSpan b, std::size_t off, const char* what = "a field") {
    need(b, off, 8, what);
    double d;
    std::memcpy(&d, b.data() + off, 8);
    return d;
}

inline ByteSpan slice(ByteSpan b, std::size_t off, std::size_t len, const char* what) {
    need(b, off, len, what);
    return b.subspan(off, len);
}

// A row pointer as the format stores it: the slot in the low byte, the page above it.
// Little-endian stores into a buffer already long enough.
inline void put16(std::vector<std::uint8_t>& b, std::size_t off, std::uint16_t v) {
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct RowPointer {
    std::uint32_t page = 0;
    std::uint8_t slot = 0;
    static RowPointer from(std::uint32_t raw) {
        return RowPointer{raw >> 8, static_cast<std::uint8_t>(raw & 0xFF)};
    }
    std::uint32_t raw() const { return (page << 8) | slot; }
};

}  // namespace jet
