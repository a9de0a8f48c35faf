// What a page says it belongs to. Data and index pages name their table's definition page in
// bytes 4 to 7; long-value pages (data pages too) carry "LVAL" there instead and name no table.
// A usage map can be damaged; what a page says of itself is the second opinion that keeps a
// rewrite or a compaction from giving back a page that another table still uses.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/index/index_page.h"
#include "jet/store/data_page.h"

namespace jet::ddl {

struct PageClaim {
    enum class Kind {
        Nothing,     // another kind of page, or an empty one
        Table,       // a data or index page of the table whose definition is on `definition`
        LongValues,  // a long-value page of some table
    };
    Kind kind = Kind::Nothing;
    std::uint32_t definition = 0;
};

inline PageClaim claimOf(const file::Page& page) {
    static constexpr std::array<std::uint8_t, 4> kLongValueMark{'L', 'V', 'A', 'L'};
    const std::uint8_t type = page[0];
    if (type == store::kDataPageType &&
        std::equal(kLongValueMark.begin(), kLongValueMark.end(), page.begin() + 4)) {
        return {PageClaim::Kind::LongValues, 0};
    }
    if (type == store::kDataPageType || type == index::kIntermediatePageType ||
        type == index::kLeafPageType) {
        return {PageClaim::Kind::Table, u32(page, 4)};
    }
    return {};
}

}  // namespace jet::ddl
