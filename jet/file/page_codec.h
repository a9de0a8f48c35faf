// Page codecs: how the pages of an encoded or encrypted database stand in the file. Page 0 is
// never encoded this way (its header part has a mask of its own, header.cpp); every other page
// is, each with a key that depends on its number. The header picks the codec (openHeader).
// Pages are encoded as they go to the file, never before: the cache and every layer above hold
// plain pages, the rollback journal holds pages as the file holds them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace jet::file {

class PageCodec {
public:
    virtual ~PageCodec() = default;
    // Turns page `number` as it stands in the file into its plain bytes, in place.
    virtual void decode(std::uint32_t number, std::span<std::uint8_t> page) const = 0;
    // Turns the plain bytes of page `number` into what the file holds, in place.
    virtual void encode(std::uint32_t number, std::span<std::uint8_t> page) const = 0;
    // What the scheme is called in errors ("Jet RC4 encoding").
    virtual const char* name() const = 0;
    // Why pages encoded this way cannot be written back, or null when they can.
    virtual const char* whyNotWritable() const { return nullptr; }
};

// The 4-byte key of page `number`: the database's encoding key with the page number mixed in,
// as all three schemes do it.
inline std::array<std::uint8_t, 4> pageKey(std::span<const std::uint8_t, 4> encodingKey,
                                           std::uint32_t number) {
    std::array<std::uint8_t, 4> key{};
    for (std::size_t i = 0; i < 4; ++i) {
        key[i] = static_cast<std::uint8_t>(encodingKey[i] ^ (number >> (8 * i)));
    }
    return key;
}

}  // namespace jet::file
