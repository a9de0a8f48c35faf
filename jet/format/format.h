// The per-version layout constants of Access files. Jet 3 (Access 97) has 2 KB pages and
// single-byte row offsets; Jet 4 and every ACE version share the 4 KB layout.
#pragma once

#include <cstdint>

#include "jet/format/schema.h"

namespace jet::format {

struct Format {
    Version version;
    std::uint32_t pageSize;
    bool jet3;  // the 2 KB layout with one-byte row fields and the jump table

    // Database definition page (page 0).
    std::uint32_t headerMaskedStart;  // the RC4-masked part of page 0 starts here
    std::uint32_t headerMaskedLength;
    std::uint32_t passwordOffset;
    std::uint32_t passwordLength;
    std::uint32_t creationDateOffset;  // 0: no date mask on the password
    std::uint32_t codePageOffset;
    std::uint32_t encodingKeyOffset;

    // Data pages.
    std::uint32_t dataRowCountOffset;  // the slot count; the slots follow it

    // Table definitions.
    std::uint32_t tdefRowCount;
    std::uint32_t tdefAutoNumber;
    std::uint32_t tdefTableType;
    std::uint32_t tdefMaxColumns;
    std::uint32_t tdefVarColumns;
    std::uint32_t tdefColumns;
    std::uint32_t tdefLogicalIndexes;
    std::uint32_t tdefRealIndexes;
    std::uint32_t tdefUsedPages;
    std::uint32_t tdefFreePages;
    std::uint32_t tdefBlockEnd;        // first byte after the fixed header block
    std::uint32_t realIndexEntrySize;  // per real index, before the columns
    std::uint32_t columnEntrySize;
    std::uint32_t nameLengthSize;    // 1 (Jet 3) or 2 bytes
    std::uint32_t realIndexDefSize;  // per real index, after the column names
    std::uint32_t logicalIndexDefSize;

    // Column definition entry offsets.
    std::uint32_t colType;
    std::uint32_t colNumber;
    std::uint32_t colVarIndex;
    std::uint32_t colPrecision;
    std::uint32_t colScale;
    std::uint32_t colCodePage;          // 0 when the column does not carry one
    std::uint32_t colSortOrder;         // text sort order (2 bytes); 0 when absent
    std::uint32_t colSortOrderVersion;  // its version (1 byte); 0 when absent (Jet 3)
    std::uint32_t colComplexId;         // 0 when absent
    std::uint32_t colFlags;
    std::uint32_t colExtraFlags;  // 0 when absent
    std::uint32_t colFixedOffset;
    std::uint32_t colLength;

    // Rows.
    std::uint32_t rowCountSize;      // bytes of the column count at the start of a row
    std::uint32_t rowVarOffsetSize;  // bytes of each variable-column offset
};

// The format for the version byte at offset 0x14 of page 0, or null when unknown.
const Format* forVersionByte(std::uint8_t versionByte);

}  // namespace jet::format
