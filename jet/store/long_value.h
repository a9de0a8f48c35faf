// Long values (Memo, OLE, and long calculated results): a 12-byte reference in the row that
// holds the bytes inline, points to one row on a long-value page, or starts a chain of them.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::store {

// The reference: a 32-bit length whose top two bits tell where the bytes are, a row pointer,
// and 4 unused bytes; inline data follows it.
inline constexpr std::size_t kLongValueReferenceSize = 12;
inline constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFF;
inline constexpr std::uint32_t kLongValueKindMask = 0xC0000000;
inline constexpr std::uint32_t kLongValueInline = 0x80000000;
inline constexpr std::uint32_t kLongValueSingleRow = 0x40000000;
inline constexpr std::uint32_t kLongValueChain = 0x00000000;
// As Access does: values this small stay in the row.
inline constexpr std::size_t kMaxInlineLongValue = 64;

// The column bytes of a value kept in the row: its reference, then the data.
std::vector<std::uint8_t> inlineLongValue(const std::vector<std::uint8_t>& data);

// The whole value the reference at the start of `field` describes. Throws Error(Corrupt) for a
// chain that loops, ends early or names pages outside the file.
std::vector<std::uint8_t> readLongValue(const file::PageFile& file, const format::Format& fmt,
                                        ByteSpan field);

}  // namespace jet::store
