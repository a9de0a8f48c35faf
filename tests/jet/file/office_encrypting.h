// Encrypting a plain .accdb with an Office scheme (CryptoAPI RC4 of any key size and provider,
// standard AES, binary RC4), as Access does when a password is set: the info goes into page 0
// and every other page is written by the engine's own codec. For the variants no file at hand
// has.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "jet/file/office_binary_rc4_codec.h"
#include "jet/file/office_rc4_codec.h"
#include "jet/file/office_standard_codec.h"
#include "jet/file/rc4.h"
#include "support/statements.h"

namespace testsupport {

inline constexpr std::array<std::uint8_t, 4> kMadeEncodingKey{0x5A, 0x17, 0xC3, 0x9E};

inline jet::file::crypto::Bytes madeSalt() {
    jet::file::crypto::Bytes salt;
    for (std::uint8_t i = 0; i < 16; ++i) salt.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    return salt;
}

inline constexpr std::array<std::uint8_t, 16> kMadeVerifier{'q', 'u', 'i', 'l', 'l', 'f', 'e', 'n',
                                                            'v', 'e', 'r', 'i', 'f', 'i', 'e', 'r'};

// Writes the encoding key and `info` into page 0 of the file and encodes every other page.
inline void encryptWith(const std::string& path, const jet::file::crypto::Bytes& info,
                        const jet::file::PageCodec& codec) {
    constexpr std::size_t kPage = 4096;
    constexpr std::array<std::uint8_t, 4> kHeaderMask{0xC7, 0xDA, 0x39, 0x6B};
    constexpr std::size_t kMaskedStart = 0x18, kMaskedLength = 128, kEncodingKeyAt = 0x3E;
    constexpr std::size_t kInfoAt = 0x299;
    auto bytes = bytesOf(path);
    ASSERT_EQ(bytes.size() % kPage, 0u);
    const auto masked = std::span(bytes).subspan(kMaskedStart, kMaskedLength);
    jet::file::rc4Apply(kHeaderMask, masked);
    std::copy(kMadeEncodingKey.begin(), kMadeEncodingKey.end(), bytes.begin() + kEncodingKeyAt);
    jet::file::rc4Apply(kHeaderMask, masked);
    ASSERT_LT(kInfoAt + 2 + info.size(), kPage);
    bytes[kInfoAt] = static_cast<std::uint8_t>(info.size());
    bytes[kInfoAt + 1] = static_cast<std::uint8_t>(info.size() >> 8);
    std::copy(info.begin(), info.end(), bytes.begin() + kInfoAt + 2);
    for (std::size_t page = 1; page < bytes.size() / kPage; ++page) {
        codec.encode(static_cast<std::uint32_t>(page),
                     std::span(bytes).subspan(page * kPage, kPage));
    }
    writeBytes(path, bytes);
}

inline void encryptWithCryptoApi(const std::string& path, jet::file::CryptoApiInfo info,
                                 const std::string& password) {
    info.salt = madeSalt();
    std::unique_ptr<jet::file::PageCodec> codec;
    if (info.aes()) {
        jet::file::OfficeStandardCodec::seal(info, password, kMadeVerifier);
        codec = std::make_unique<jet::file::OfficeStandardCodec>(info, kMadeEncodingKey, password,
                                                                 path);
    } else {
        jet::file::OfficeRc4Codec::seal(info, password, kMadeVerifier);
        codec = std::make_unique<jet::file::OfficeRc4Codec>(info, kMadeEncodingKey, password, path);
    }
    encryptWith(path, info.bytes(), *codec);
}

inline void encryptWithBinaryRc4(const std::string& path, const std::string& password) {
    const auto info = jet::file::OfficeBinaryRc4Codec::seal(password, madeSalt(), kMadeVerifier);
    encryptWith(path, info,
                jet::file::OfficeBinaryRc4Codec(info, kMadeEncodingKey, password, path));
}

}  // namespace testsupport
