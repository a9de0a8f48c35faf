// Office binary RC4 encryption (info version 1.1), the older scheme with MD5 and a 40-bit key.
// The info after its version: salt (16), encrypted verifier (16), encrypted MD5 of the verifier
// (16). The keys:
//
//   H = the first 5 bytes of MD5(password as UTF-16LE)
//   base = the first 5 bytes of MD5(16 times H + salt)
//   key of a block = MD5(base + block), 16 bytes; the block is the page's 4-byte key (four
//   zeros for the verifier, whose two parts are one RC4 stream)
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "jet/file/office_crypto.h"
#include "jet/file/page_codec.h"

namespace jet::file {

class OfficeBinaryRc4Codec final : public PageCodec {
public:
    // `info` is the encryption info of the header (after its length). Throws Error:
    // NotValidPassword, Unsupported (a truncated info).
    OfficeBinaryRc4Codec(crypto::ByteView info, std::array<std::uint8_t, 4> encodingKey,
                         const std::string& password, const std::string& path);
    void decode(std::uint32_t number, std::span<std::uint8_t> page) const override;
    // RC4 is its own inverse.
    void encode(std::uint32_t number, std::span<std::uint8_t> page) const override {
        decode(number, page);
    }
    const char* name() const override { return "Office binary RC4 encryption"; }

    // The info (version 1.1) a newly encrypted file stores for `password`, with `salt` and the
    // plain `verifier` (16 bytes each).
    static crypto::Bytes seal(const std::string& password, crypto::ByteView salt,
                              crypto::ByteView verifier);

private:
    std::array<std::uint8_t, 4> encodingKey_;
    crypto::Bytes base_;  // of the password and the salt, once per open
};

}  // namespace jet::file
