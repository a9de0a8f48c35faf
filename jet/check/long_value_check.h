// Long values (Memo, OLE): the 12-byte reference in a row, and the rows on long-value pages it
// leads to. Checked: the reference's kind is known; an inline value's length is what follows
// the reference in its field; a value on one other row is exactly as long as that row; a
// chain's parts (each row minus its 4-byte link) add up to the stated length exactly where the
// chain ends (a link of 0), without loops; every row used is a live row on a long-value page
// (type 0x01, owner field "LVAL"); and no long-value row serves two values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/check/check_context.h"
#include "jet/check/page_set.h"
#include "jet/check/slot_directory.h"

namespace jet::check {

// `where` names the row and column for descriptions; `claimant` is who the long-value pages
// belong to (the table). When `columnPages` is given (the column's own usage map), every page
// of the value must be in it.
void checkLongValue(CheckContext& ctx, ByteSpan field, const std::string& where,
                    const std::string& claimant, const PageSet* columnPages);

// The slot directory of a long-value page, checked (and its faults reported) the first time
// only; read again each time rather than kept, as a file may have hundreds of thousands of
// these pages. Nothing when the page is not a long-value page (after reporting why).
std::optional<std::vector<SlotInfo>> longValuePage(CheckContext& ctx, std::uint32_t page,
                                                   const std::string& where,
                                                   const std::string& claimant);

}  // namespace jet::check
