// The storage a table definition claims, read straight from its TDEF pages: the chain of
// definition pages, the usage maps of its data pages, its index data (root page, usage map,
// columns, flags) and the usage maps of its long-value columns. The checker reads this itself
// rather than through store::readTableDefinition, so that a table whose columns the reader
// refuses (an unknown type) still has its pages accounted for.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/database.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::check {

inline constexpr std::uint8_t kIndexUnique = 0x01;
inline constexpr std::uint8_t kIndexIgnoreNulls = 0x02;

struct IndexLayout {
    std::uint32_t number = 0;          // the index data number, as logical indexes name it
    std::vector<IndexColumn> columns;  // in key order
    std::uint32_t usedPagesRow = 0;    // row pointer of the map of its pages
    std::uint32_t rootPage = 0;
    std::uint8_t flags = 0;
    bool unique() const { return flags & kIndexUnique; }
    bool ignoreNulls() const { return flags & kIndexIgnoreNulls; }
};

// Access 2007 and later give each long-value column maps of its own pages.
struct LongValueMaps {
    std::uint16_t columnNumber = 0;
    std::uint32_t usedPagesRow = 0;
    std::uint32_t freePagesRow = 0;
};

struct ColumnLayout {
    std::uint8_t type = 0;
    std::uint16_t number = 0;
    std::uint16_t varIndex = 0;
    bool fixedLength = false;
};

struct TableLayout {
    std::vector<std::uint32_t> definitionPages;  // the chain, first page first
    std::uint32_t rowCount = 0;
    std::uint16_t maxColumns = 0;
    std::uint16_t varColumnCount = 0;
    std::vector<ColumnLayout> columns;
    std::uint32_t usedPagesRow = 0;
    std::uint32_t freePagesRow = 0;
    std::vector<IndexLayout> indexes;
    std::vector<LongValueMaps> longValueMaps;
};

// Throws Error(Corrupt) describing what is wrong when the definition cannot be read.
TableLayout readTableLayout(const file::PageFile& file, const format::Format& fmt,
                            std::uint32_t firstPage);

}  // namespace jet::check
