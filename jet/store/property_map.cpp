#include "jet/store/property_map.h"

#include <algorithm>
#include <cstring>

#include "jet/store/names.h"
#include "jet/store/table_definition.h"
#include "jet/store/utf8.h"

namespace jet::store {
namespace {
constexpr std::uint16_t kNameListBlock = 0x80;
}  // namespace

namespace {

std::string readName(const format::Format& fmt, std::uint16_t codePage, ByteSpan b,
                     std::size_t& pos) {
    const std::uint16_t len = u16(b, pos, "a property name");
    pos += 2;
    std::string name = decodeName(fmt, slice(b, pos, len, "a property name"), codePage);
    pos += len;
    return name;
}

// Calls `visit(blockStart, blockLength, blockType, block)` for each block of the blob.
template <typename Visit>
void forEachBlock(ByteSpan blob, Visit visit) {
    need(blob, 0, 4, "a property map");
    if (std::memcmp(blob.data(), "MR2", 4) != 0 && std::memcmp(blob.data(), "KKD", 4) != 0) {
        corrupt("a property map of unknown kind");
    }
    std::size_t pos = 4;
    while (pos < blob.size()) {
        const std::uint32_t blockLength = u32(blob, pos, "a property block");
        const std::uint16_t blockType = u16(blob, pos + 4, "a property block");
        if (blockLength < 6) corrupt("a property block shorter than its header");
        const ByteSpan block = slice(blob, pos + 6, blockLength - 6, "a property block");
        visit(pos, blockLength, blockType, block);
        pos += blockLength;
    }
}

// The name of the map a block holds ("" for the object's own), and where its values start.
std::string mapNameOf(const format::Format& fmt, std::uint16_t codePage, ByteSpan block,
                      std::size_t& p) {
    std::string mapName;
    if (p < block.size()) {
        const std::uint32_t nameBlockLength = u32(block, p, "a property map name");
        if (nameBlockLength < 4) corrupt("a property map name shorter than its header");
        std::size_t q = p + 4;
        if (nameBlockLength > 6) mapName = readName(fmt, codePage, block, q);
        p += nameBlockLength;
    }
    return mapName;
}

}  // namespace

std::vector<std::uint8_t> withoutPropertyMap(const format::Format& fmt, ByteSpan blob,
                                             std::uint16_t codePage, const std::string& name) {
    std::vector<std::uint8_t> out(blob.begin(),
                                  blob.begin() + std::min<std::size_t>(4, blob.size()));
    forEachBlock(blob,
                 [&](std::size_t start, std::uint32_t length, std::uint16_t type, ByteSpan block) {
                     std::size_t p = 0;
                     if (type != kNameListBlock &&
                         foldName(mapNameOf(fmt, codePage, block, p)) == foldName(name)) {
                         return;
                     }
                     out.insert(out.end(), blob.begin() + static_cast<std::ptrdiff_t>(start),
                                blob.begin() + static_cast<std::ptrdiff_t>(start + length));
                 });
    return out;
}

std::vector<std::uint8_t> requiredFieldsBlob(const std::vector<std::string>& columns) {
    constexpr std::uint16_t kColumnMapBlock = 0x01;
    constexpr std::uint8_t kYesNo = 0x01;
    std::vector<std::uint8_t> blob{'M', 'R', '2', 0};
    const auto name = [](std::vector<std::uint8_t>& out, const std::string& text) {
        const std::size_t at = out.size();
        out.resize(at + 2);
        appendUtf16(out, text);
        put16(out, at, static_cast<std::uint16_t>(out.size() - at - 2));
    };
    const auto block = [&](std::uint16_t type, const std::vector<std::uint8_t>& content) {
        const std::size_t at = blob.size();
        blob.resize(at + 6);
        put32(blob, at, static_cast<std::uint32_t>(6 + content.size()));
        put16(blob, at + 4, type);
        blob.insert(blob.end(), content.begin(), content.end());
    };
    std::vector<std::uint8_t> names;
    name(names, "Required");
    block(kNameListBlock, names);
    for (const auto& column : columns) {
        std::vector<std::uint8_t> content(4);
        name(content, column);
        put32(content, 0, static_cast<std::uint32_t>(content.size()));
        // The value: its length, the DDL flag (Required is one the engine keeps), its type, the
        // index of its name in the list, the data's size, and Yes.
        const std::vector<std::uint8_t> value{9, 0, 1, kYesNo, 0, 0, 1, 0, 0xFF};
        content.insert(content.end(), value.begin(), value.end());
        block(kColumnMapBlock, content);
    }
    return blob;
}

PropertyMaps parsePropertyMaps(const format::Format& fmt, ByteSpan blob, std::uint16_t codePage) {
    PropertyMaps maps;
    if (blob.empty()) return maps;
    std::vector<std::string> names;
    forEachBlock(blob, [&](std::size_t, std::uint32_t, std::uint16_t blockType, ByteSpan block) {
        std::size_t p = 0;
        if (blockType == kNameListBlock) {
            while (p < block.size()) names.push_back(readName(fmt, codePage, block, p));
            return;
        }
        auto& map = maps[foldName(mapNameOf(fmt, codePage, block, p))];
        while (p < block.size()) {
            const std::uint16_t valueLength = u16(block, p, "a property value");
            if (valueLength < 8) corrupt("a property value shorter than its header");
            const std::uint8_t type = u8(block, p + 3);
            const std::uint16_t nameIndex = u16(block, p + 4);
            const std::uint16_t dataSize = u16(block, p + 6);
            const ByteSpan data = slice(block, p + 8, dataSize, "a property value");
            if (nameIndex < names.size()) {
                map[names[nameIndex]] = Property{type, {data.begin(), data.end()}};
            }
            p += valueLength;
        }
    });
    return maps;
}

}  // namespace jet::store
