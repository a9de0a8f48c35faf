// Office RC4 CryptoAPI encryption, as Access 2007 and later write it for a database password:
// the header's encryption info (office_crypto_api.h) carries a salt and a verifier; every page
// but page 0 is RC4 with a key hashed from the password and the page's 4-byte key. The key is
// as long as the info says, 40 to 128 bits, whatever the provider that made it; a 40-bit key is
// used as 128 bits, its last 88 zero, as the base provider does.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "jet/file/office_crypto_api.h"
#include "jet/file/page_codec.h"

namespace jet::file {

class OfficeRc4Codec final : public PageCodec {
public:
    // Throws Error: NotValidPassword, Unsupported (an algorithm, hash or key size this engine
    // does not take, named with what the info says).
    OfficeRc4Codec(const CryptoApiInfo& info, std::array<std::uint8_t, 4> encodingKey,
                   const std::string& password, const std::string& path);
    void decode(std::uint32_t number, std::span<std::uint8_t> page) const override;
    // RC4 is its own inverse.
    void encode(std::uint32_t number, std::span<std::uint8_t> page) const override {
        decode(number, page);
    }
    const char* name() const override { return "Office RC4 CryptoAPI encryption"; }

    // Fills the encrypted verifier and its hash of `info` (salt and key size set) for
    // `password`, from the 16 bytes of `verifier`: what a newly encrypted file stores.
    static void seal(CryptoApiInfo& info, const std::string& password, crypto::ByteView verifier);

private:
    crypto::Bytes blockKey(crypto::ByteView block) const;

    std::array<std::uint8_t, 4> encodingKey_;
    crypto::Bytes baseHash_;  // of the salt and the password, once per open
    std::uint32_t keyBits_ = 128;
};

}  // namespace jet::file
