// Office agile encryption, as Access 2010 and later write it for a database password: the
// header's encryption info (version 4.4) is an XML descriptor. The password, hashed many times
// (its spin count), unlocks a random secret key; every page but page 0 is AES-CBC with that
// key and an IV hashed from the descriptor's salt and the page's 4-byte key.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "jet/file/office_crypto.h"
#include "jet/file/page_codec.h"

namespace jet::file {

class OfficeAgileCodec final : public PageCodec {
public:
    // `info` is the encryption info of the header (after its length). Throws Error:
    // NotValidPassword, Unsupported (a descriptor or algorithm this engine does not take).
    OfficeAgileCodec(crypto::ByteView info, std::array<std::uint8_t, 4> encodingKey,
                     const std::string& password, const std::string& path);
    void decode(std::uint32_t number, std::span<std::uint8_t> page) const override;
    void encode(std::uint32_t number, std::span<std::uint8_t> page) const override;
    const char* name() const override { return "Office agile (AES) encryption"; }
    const char* whyNotWritable() const override {
        return checksWholeFile_ ? "its encryption keeps a checksum (HMAC) of the whole file, "
                                  "which changing pages would make wrong"
                                : nullptr;
    }

private:
    crypto::Bytes pageIv(std::uint32_t number) const;

    std::array<std::uint8_t, 4> encodingKey_;
    crypto::Bytes secretKey_;  // unlocked once per open
    crypto::Bytes salt_;       // the data's, for the page IVs
    const EvpMd* hash_ = nullptr;
    std::size_t blockSize_ = 16;
    bool checksWholeFile_ = false;  // the descriptor has a dataIntegrity element
};

}  // namespace jet::file
