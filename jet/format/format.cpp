#include "jet/format/format.h"

namespace jet::format {
namespace {

constexpr Format kJet3{
    .version = Version::Jet3,
    .pageSize = 2048,
    .jet3 = true,
    .headerMaskedStart = 0x18,
    .headerMaskedLength = 126,
    .passwordOffset = 0x42,
    .passwordLength = 20,
    .creationDateOffset = 0,
    .codePageOffset = 0x3C,
    .encodingKeyOffset = 0x3E,
    .dataRowCountOffset = 8,
    .tdefRowCount = 12,
    .tdefAutoNumber = 16,
    .tdefTableType = 20,
    .tdefMaxColumns = 21,
    .tdefVarColumns = 23,
    .tdefColumns = 25,
    .tdefLogicalIndexes = 27,
    .tdefRealIndexes = 31,
    .tdefUsedPages = 35,
    .tdefFreePages = 39,
    .tdefBlockEnd = 43,
    .realIndexEntrySize = 8,
    .columnEntrySize = 18,
    .nameLengthSize = 1,
    .realIndexDefSize = 39,
    .logicalIndexDefSize = 20,
    .colType = 0,
    .colNumber = 1,
    .colVarIndex = 3,
    .colPrecision = 11,
    .colScale = 12,
    .colCodePage = 11,
    .colSortOrder = 9,
    .colSortOrderVersion = 0,
    .colComplexId = 0,
    .colFlags = 13,
    .colExtraFlags = 0,
    .colFixedOffset = 14,
    .colLength = 16,
    .rowCountSize = 1,
    .rowVarOffsetSize = 1,
};

constexpr Format jet4Like(Version v) {
    return Format{
        .version = v,
        .pageSize = 4096,
        .jet3 = false,
        .headerMaskedStart = 0x18,
        .headerMaskedLength = 128,
        .passwordOffset = 0x42,
        .passwordLength = 40,
        .creationDateOffset = 0x72,
        .codePageOffset = 0x3C,
        .encodingKeyOffset = 0x3E,
        .dataRowCountOffset = 12,
        .tdefRowCount = 16,
        .tdefAutoNumber = 20,
        .tdefTableType = 40,
        .tdefMaxColumns = 41,
        .tdefVarColumns = 43,
        .tdefColumns = 45,
        .tdefLogicalIndexes = 47,
        .tdefRealIndexes = 51,
        .tdefUsedPages = 55,
        .tdefFreePages = 59,
        .tdefBlockEnd = 63,
        .realIndexEntrySize = 12,
        .columnEntrySize = 25,
        .nameLengthSize = 2,
        .realIndexDefSize = 52,
        .logicalIndexDefSize = 28,
        .colType = 0,
        .colNumber = 5,
        .colVarIndex = 7,
        .colPrecision = 11,
        .colScale = 12,
        .colCodePage = 0,
        .colSortOrder = 11,
        .colSortOrderVersion = 14,
        .colComplexId = v == Version::Jet4 ? 0u : 11u,
        .colFlags = 15,
        .colExtraFlags = 16,
        .colFixedOffset = 21,
        .colLength = 23,
        .rowCountSize = 2,
        .rowVarOffsetSize = 2,
    };
}

constexpr Format kJet4 = jet4Like(Version::Jet4);
constexpr Format kAce12 = jet4Like(Version::Ace12);
constexpr Format kAce14 = jet4Like(Version::Ace14);
constexpr Format kAce16 = jet4Like(Version::Ace16);
constexpr Format kAce17 = jet4Like(Version::Ace17);

}  // namespace

const Format* forVersionByte(std::uint8_t versionByte) {
    switch (versionByte) {
        case 0x00:
            return &kJet3;
        case 0x01:
            return &kJet4;
        case 0x02:
            return &kAce12;
        case 0x03:
            return &kAce14;
        case 0x05:
            return &kAce16;
        case 0x06:
            return &kAce17;
        default:
            return nullptr;
    }
}

}  // namespace jet::format
