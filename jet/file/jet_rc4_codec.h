// Jet 4 RC4 encoding: every page but page 0 is RC4 with the header's encoding key, mixed with
// the page number, as the key. It needs no password: it hides the data, it does not protect it.
#pragma once

#include <array>
#include <cstdint>

#include "jet/file/page_codec.h"

namespace jet::file {

class JetRc4Codec final : public PageCodec {
public:
    explicit JetRc4Codec(std::array<std::uint8_t, 4> encodingKey) : encodingKey_(encodingKey) {}
    void decode(std::uint32_t number, std::span<std::uint8_t> page) const override;
    // RC4 is its own inverse.
    void encode(std::uint32_t number, std::span<std::uint8_t> page) const override {
        decode(number, page);
    }
    const char* name() const override { return "Jet RC4 encoding"; }

private:
    std::array<std::uint8_t, 4> encodingKey_;
};

}  // namespace jet::file
