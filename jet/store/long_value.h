// Long values (Memo, OLE, and long calculated results): a 12-byte reference in the row that
// holds the bytes inline, points to one row on a long-value page, or starts a chain of them.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/store/bytes.h"

namespace jet::store {

inline constexpr std::size_t kLongValueReferenceSize = 12;

// The whole value the reference at the start of `field` describes. Throws Error(Corrupt) for a
// chain that loops, ends early or names pages outside the file.
std::vector<std::uint8_t> readLongValue(const file::PageFile& file, const format::Format& fmt,
                                        ByteSpan field);

}  // namespace jet::store
