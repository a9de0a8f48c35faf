// Long values (Memo, OLE): the 12-byte reference in a row, and the rows on long-value pages it
// leads to. Checked: the reference's kind is known; an inline value's length is what follows
// the reference in its field; a value on one other row is exactly as long as that row; a
// chain's parts (each row minus its 4-byte link) add up to the stated length exactly where the
// chain ends (a link of 0), without loops; every row used is a live row on a long-value page
// (type 0x01, owner field "LVAL"); and no long-value row serves two values.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "jet/base/bytes.h"
#include "jet/check/check_context.h"

namespace jet::check {

// `where` names the row and column for descriptions; `claimant` is who the long-value pages
// belong to (the table). When `columnPages` is given (the column's own usage map), every page
// of the value must be in it.
void checkLongValue(CheckContext& ctx, ByteSpan field, const std::string& where,
                    const std::string& claimant, const std::set<std::uint32_t>* columnPages);

// Checks the slot directory of a long-value page once and remembers it. Returns null when the
// page is not a long-value page (after reporting why).
const std::vector<SlotInfo>* longValuePage(CheckContext& ctx, std::uint32_t page,
                                           const std::string& where, const std::string& claimant);

}  // namespace jet::check
