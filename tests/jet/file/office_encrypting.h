// Encrypting a plain .accdb with an Office CryptoAPI scheme (RC4 of any key size and provider,
// standard AES), as Access does when a password is set: the info goes into page 0 and every
// other page is written by the engine's own codec. For the variants no file at hand has.
#pragma once

#include <array>
#include <string>

#include "jet/base/bytes.h"
#include "jet/file/office_rc4_codec.h"
#include "jet/file/office_standard_codec.h"
#include "jet/file/rc4.h"
#include "support/statements.h"

namespace testsupport {

inline void encryptWithCryptoApi(const std::string& path, jet::file::CryptoApiInfo info,
                                 const std::string& password) {
    constexpr std::size_t kPage = 4096;
    constexpr std::array<std::uint8_t, 4> kHeaderMask{0xC7, 0xDA, 0x39, 0x6B};
    constexpr std::size_t kMaskedStart = 0x18, kMaskedLength = 128, kEncodingKeyAt = 0x3E;
    constexpr std::size_t kInfoAt = 0x299;
    constexpr std::array<std::uint8_t, 4> kEncodingKey{0x5A, 0x17, 0xC3, 0x9E};
    auto bytes = bytesOf(path);
    ASSERT_EQ(bytes.size() % kPage, 0u);
    const auto masked = std::span(bytes).subspan(kMaskedStart, kMaskedLength);
    jet::file::rc4Apply(kHeaderMask, masked);
    std::copy(kEncodingKey.begin(), kEncodingKey.end(), bytes.begin() + kEncodingKeyAt);
    jet::file::rc4Apply(kHeaderMask, masked);

    info.salt.clear();
    for (std::uint8_t i = 0; i < 16; ++i)
        info.salt.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    const std::array<std::uint8_t, 16> verifier{'q', 'u', 'i', 'l', 'l', 'f', 'e', 'n',
                                                'v', 'e', 'r', 'i', 'f', 'i', 'e', 'r'};
    if (info.aes()) {
        jet::file::OfficeStandardCodec::seal(info, password, verifier);
    } else {
        jet::file::OfficeRc4Codec::seal(info, password, verifier);
    }
    const auto written = info.bytes();
    ASSERT_LT(kInfoAt + 2 + written.size(), kPage);
    bytes[kInfoAt] = static_cast<std::uint8_t>(written.size());
    bytes[kInfoAt + 1] = static_cast<std::uint8_t>(written.size() >> 8);
    std::copy(written.begin(), written.end(), bytes.begin() + kInfoAt + 2);

    std::unique_ptr<jet::file::PageCodec> codec;
    if (info.aes()) {
        codec =
            std::make_unique<jet::file::OfficeStandardCodec>(info, kEncodingKey, password, path);
    } else {
        codec = std::make_unique<jet::file::OfficeRc4Codec>(info, kEncodingKey, password, path);
    }
    for (std::size_t page = 1; page < bytes.size() / kPage; ++page) {
        codec->encode(static_cast<std::uint32_t>(page),
                      std::span(bytes).subspan(page * kPage, kPage));
    }
    writeBytes(path, bytes);
}

}  // namespace testsupport
