// Office "standard" encryption, the AES of Office 2007 (AES-128, -192 or -256 with SHA-1): the
// header's encryption info (office_crypto_api.h) carries a salt and a verifier; every page but
// page 0 is AES, each 16-byte block on its own (ECB), with a key derived from the password and
// the page's 4-byte key:
//
//   H0 = SHA-1(salt + password as UTF-16LE)
//   Hn = SHA-1(n - 1 as 4 bytes + Hn-1), n times (n = 50,000)
//   Hb = SHA-1(Hn + block), block the page's 4-byte key (four zeros for the verifier)
//   key = the first key-size bytes of SHA-1(64 x 0x36 xor Hb) + SHA-1(64 x 0x5C xor Hb)
//
// Access 2007 also writes this with no AES flag in the info and no hashing rounds at all
// (n = 0); the flag tells the two apart.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "jet/file/office_crypto_api.h"
#include "jet/file/page_codec.h"

namespace jet::file {

class OfficeStandardCodec final : public PageCodec {
public:
    // Throws Error: NotValidPassword, Unsupported (an algorithm, hash or key size this engine
    // does not take, named with what the info says).
    OfficeStandardCodec(const CryptoApiInfo& info, std::array<std::uint8_t, 4> encodingKey,
                        const std::string& password, const std::string& path);
    void decode(std::uint32_t number, std::span<std::uint8_t> page) const override;
    void encode(std::uint32_t number, std::span<std::uint8_t> page) const override;
    const char* name() const override { return "Office standard (AES) encryption"; }

    // Fills the encrypted verifier and its hash of `info` (salt, flags, algorithm and key size
    // set) for `password`, from the 16 bytes of `verifier`: what a newly encrypted file stores.
    static void seal(CryptoApiInfo& info, const std::string& password, crypto::ByteView verifier);

private:
    crypto::Bytes blockKey(crypto::ByteView block) const;

    std::array<std::uint8_t, 4> encodingKey_;
    crypto::Bytes spun_;  // Hn, once per open
    std::size_t keyBytes_ = 16;
};

}  // namespace jet::file
