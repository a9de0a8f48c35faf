// What the checks of one file share: the file, its format, the page claims, the faults found so
// far, and what the long-value checks have seen (a long-value row must serve one value only).
#pragma once

#include <cstdint>
#include <string>

#include "jet/check/fault_list.h"
#include "jet/check/page_claims.h"
#include "jet/check/page_set.h"
#include "jet/check/row_marks.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::check {

// The owner field of a long-value page: "LVAL" read as a little-endian number.
inline constexpr std::uint32_t kLongValueOwner = 0x4C41564C;

// A row's place as index entries and row pointers name it: page above, slot in the low byte.
inline std::uint32_t packRow(std::uint32_t page, std::uint16_t slot) {
    return (page << 8) | (slot & 0xFF);
}

inline std::string quoted(const std::string& name) { return "'" + name + "'"; }

struct CheckContext {
    CheckContext(const file::PageFile& f, const format::Format& fm, std::uint16_t cp)
        : file(f),
          fmt(fm),
          codePage(cp),
          claims(f.pageCount()),
          longValuePages(f.pageCount()),
          longValueRowsUsed(f.pageCount()) {}

    const file::PageFile& file;
    const format::Format& fmt;
    std::uint16_t codePage;
    PageClaims claims;
    FaultList faults;

    PageSet longValuePages;      // long-value pages whose slot directory has been checked
    RowMarks longValueRowsUsed;  // each long-value row a value used
};

}  // namespace jet::check
