// Office RC4 CryptoAPI encryption, as Access 2007 and later write it for a database password:
// the header's encryption info (version 2, 3 or 4 . 2) carries a salt and a verifier; every page
// but page 0 is RC4 with a key hashed from the password and the page's 4-byte key.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "jet/file/office_crypto.h"
#include "jet/file/page_codec.h"

namespace jet::file {

class OfficeRc4Codec final : public PageCodec {
public:
    // `info` is the encryption info of the header (after its length). Throws Error:
    // NotValidPassword, Unsupported (an algorithm or size this engine does not take).
    OfficeRc4Codec(crypto::ByteView info, std::array<std::uint8_t, 4> encodingKey,
                   const std::string& password, const std::string& path);
    void decode(std::uint32_t number, std::span<std::uint8_t> page) const override;
    // RC4 is its own inverse.
    void encode(std::uint32_t number, std::span<std::uint8_t> page) const override {
        decode(number, page);
    }
    const char* name() const override { return "Office RC4 CryptoAPI encryption"; }

private:
    crypto::Bytes blockKey(crypto::ByteView block) const;

    std::array<std::uint8_t, 4> encodingKey_;
    crypto::Bytes baseHash_;  // of the salt and the password, once per open
    std::size_t keyBytes_ = 16;
};

}  // namespace jet::file
