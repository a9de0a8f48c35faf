#include "jet/store/property_map.h"

#include <algorithm>
#include <cstring>

#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/base/text_codec.h"
#include "jet/base/utf8.h"
#include "jet/store/table_definition.h"

namespace jet::store {
namespace {
constexpr std::uint16_t kNameListBlock = 0x80;
constexpr std::uint8_t kMemoProperty = 0x0C;  // a text property's type code
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

namespace {

constexpr std::uint16_t kColumnMapBlock = 0x01;

// Text as the blob keeps it: UTF-16 in Jet 4 and ACE, the database's code page in Jet 3.
std::vector<std::uint8_t> storedText(const format::Format& fmt, std::uint16_t codePage,
                                     const std::string& text) {
    std::vector<std::uint8_t> out;
    if (!fmt.jet3) {
        appendUtf16(out, text);
        return out;
    }
    return encodeCodePageText(text, codePage, ErrorCode::TypeMismatch, "'" + text + "'");
}

void appendName(const format::Format& fmt, std::uint16_t codePage, std::vector<std::uint8_t>& out,
                const std::string& text) {
    const auto bytes = storedText(fmt, codePage, text);
    const std::size_t at = out.size();
    out.resize(at + 2);
    out.insert(out.end(), bytes.begin(), bytes.end());
    put16(out, at, static_cast<std::uint16_t>(bytes.size()));
}

void appendBlock(std::vector<std::uint8_t>& blob, std::uint16_t type,
                 const std::vector<std::uint8_t>& content) {
    const std::size_t at = blob.size();
    blob.resize(at + 6);
    put32(blob, at, static_cast<std::uint32_t>(6 + content.size()));
    put16(blob, at + 4, type);
    blob.insert(blob.end(), content.begin(), content.end());
}

}  // namespace

NewProperty requiredProperty() { return {"Required", 0x01, {0xFF}}; }

NewProperty defaultValueProperty(const std::string& expression) {
    return {"DefaultValue", kMemoProperty, {expression.begin(), expression.end()}};
}

namespace {

constexpr std::uint16_t kObjectMapBlock = 0x00;

std::vector<std::uint8_t> withMap(const format::Format& fmt, ByteSpan blob, std::uint16_t codePage,
                                  const std::string& column, std::uint16_t blockType,
                                  const std::vector<NewProperty>& properties) {
    // Jet 3 starts its blobs "KKD", Jet 4 and ACE "MR2".
    std::vector<std::uint8_t> base{'M', 'R', '2', 0};
    if (fmt.jet3) base = {'K', 'K', 'D', 0};
    if (!blob.empty()) base = withoutPropertyMap(fmt, blob, codePage, column);
    // The list of names first, then every other block as it was.
    std::vector<std::string> names;
    std::vector<std::uint8_t> others;
    forEachBlock(base,
                 [&](std::size_t start, std::uint32_t length, std::uint16_t type, ByteSpan block) {
                     if (type == kNameListBlock) {
                         for (std::size_t p = 0; p < block.size();)
                             names.push_back(readName(fmt, codePage, block, p));
                         return;
                     }
                     others.insert(others.end(), base.begin() + static_cast<std::ptrdiff_t>(start),
                                   base.begin() + static_cast<std::ptrdiff_t>(start + length));
                 });
    std::vector<std::uint8_t> map(4);
    appendName(fmt, codePage, map, column);
    put32(map, 0, static_cast<std::uint32_t>(map.size()));
    for (const auto& property : properties) {
        auto found = std::find(names.begin(), names.end(), property.name);
        if (found == names.end()) found = names.insert(names.end(), property.name);
        const std::vector<std::uint8_t> data =
            property.type == kMemoProperty
                ? storedText(fmt, codePage, std::string(property.data.begin(), property.data.end()))
                : property.data;
        // Its length, the DDL flag, its type, the number of its name, the data's size, the data.
        const std::size_t at = map.size();
        map.resize(at + 8);
        put16(map, at, static_cast<std::uint16_t>(8 + data.size()));
        map[at + 2] = 1;
        map[at + 3] = property.type;
        put16(map, at + 4, static_cast<std::uint16_t>(found - names.begin()));
        put16(map, at + 6, static_cast<std::uint16_t>(data.size()));
        map.insert(map.end(), data.begin(), data.end());
    }
    std::vector<std::uint8_t> list;
    for (const auto& name : names) appendName(fmt, codePage, list, name);
    std::vector<std::uint8_t> out(base.begin(), base.begin() + 4);
    appendBlock(out, kNameListBlock, list);
    // Access keeps the object's own map ahead of its columns'.
    if (blockType == kObjectMapBlock) appendBlock(out, blockType, map);
    out.insert(out.end(), others.begin(), others.end());
    if (blockType != kObjectMapBlock) appendBlock(out, blockType, map);
    return out;
}

}  // namespace

std::vector<std::uint8_t> withColumnProperties(const format::Format& fmt, ByteSpan blob,
                                               std::uint16_t codePage, const std::string& column,
                                               const std::vector<NewProperty>& properties) {
    return withMap(fmt, blob, codePage, column, kColumnMapBlock, properties);
}

std::vector<std::uint8_t> withTableProperties(const format::Format& fmt, ByteSpan blob,
                                              std::uint16_t codePage,
                                              const std::vector<NewProperty>& properties) {
    return withMap(fmt, blob, codePage, "", kObjectMapBlock, properties);
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
