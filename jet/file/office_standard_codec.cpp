#include "jet/file/office_standard_codec.h"

#include <algorithm>

#include "jet/base/error.h"

namespace jet::file {
namespace {

constexpr std::uint32_t kSpinCount = 50'000;
constexpr std::size_t kVerifierLength = 16;
constexpr std::size_t kSha1Length = 20;
constexpr std::size_t kSealedHashLength = 32;  // the SHA-1 hash padded to whole AES blocks
constexpr std::array<std::uint8_t, 4> kBlockZero{};

// The key size the info means, in bits; 0 when the algorithm and the size disagree.
std::uint32_t keyBitsOf(const CryptoApiInfo& info) {
    const std::uint32_t algorithmBits = info.algorithm == kAlgorithmAes192   ? 192
                                        : info.algorithm == kAlgorithmAes256 ? 256
                                                                             : 128;
    if (info.keyBits == 0) return algorithmBits;
    return info.keyBits == algorithmBits ? algorithmBits : 0;
}

crypto::Bytes spunHash(const CryptoApiInfo& info, const std::string& password) {
    crypto::Bytes h = crypto::digest(crypto::sha1(), {info.salt, crypto::passwordBytes(password)});
    const std::uint32_t rounds = (info.flags & kCryptoApiAesFlag) ? kSpinCount : 0;
    for (std::uint32_t i = 0; i < rounds; ++i) {
        const std::array<std::uint8_t, 4> n{
            static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
            static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 24)};
        h = crypto::digest(crypto::sha1(), {n, h});
    }
    return h;
}

crypto::Bytes keyFor(crypto::ByteView spun, std::size_t keyBytes, crypto::ByteView block) {
    const crypto::Bytes hb = crypto::digest(crypto::sha1(), {spun, block});
    std::array<std::uint8_t, 64> inner{};
    std::array<std::uint8_t, 64> outer{};
    inner.fill(0x36);
    outer.fill(0x5C);
    for (std::size_t i = 0; i < hb.size(); ++i) {
        inner[i] ^= hb[i];
        outer[i] ^= hb[i];
    }
    crypto::Bytes key = crypto::digest(crypto::sha1(), {inner});
    const crypto::Bytes second = crypto::digest(crypto::sha1(), {outer});
    key.insert(key.end(), second.begin(), second.end());
    key.resize(keyBytes);
    return key;
}

}  // namespace

OfficeStandardCodec::OfficeStandardCodec(const CryptoApiInfo& info,
                                         std::array<std::uint8_t, 4> encodingKey,
                                         const std::string& password, const std::string& path)
    : encodingKey_(encodingKey), keyBytes_(keyBitsOf(info) / 8) {
    const auto refuse = [&](const std::string& what) {
        throw info.refusal(path, "Office standard (AES) encryption " + what);
    };
    if (!info.aes() || (info.hash != kHashSha1 && info.hash != 0)) refuse("of an unknown kind");
    if (keyBytes_ == 0) refuse("with a key size that is not its algorithm's");
    if (info.verifierHashSize != kSha1Length || info.encryptedVerifier.size() != kVerifierLength ||
        info.encryptedVerifierHash.size() < kSealedHashLength) {
        refuse("with a verifier size");
    }
    spun_ = spunHash(info, password);

    const crypto::Bytes key = blockKey(kBlockZero);
    crypto::Bytes verifier = info.encryptedVerifier;
    crypto::aesEcb(crypto::Direction::Decrypt, key, verifier);
    crypto::Bytes hash(info.encryptedVerifierHash.begin(),
                       info.encryptedVerifierHash.begin() + kSealedHashLength);
    crypto::aesEcb(crypto::Direction::Decrypt, key, hash);
    const crypto::Bytes expected = crypto::digest(crypto::sha1(), {verifier});
    if (!std::equal(expected.begin(), expected.end(), hash.begin())) {
        throw Error(ErrorCode::NotValidPassword, "Not a valid password. (file '" + path + "')");
    }
}

void OfficeStandardCodec::seal(CryptoApiInfo& info, const std::string& password,
                               crypto::ByteView verifier) {
    const crypto::Bytes key = keyFor(spunHash(info, password), keyBitsOf(info) / 8, kBlockZero);
    info.encryptedVerifier.assign(verifier.begin(), verifier.end());
    crypto::aesEcb(crypto::Direction::Encrypt, key, info.encryptedVerifier);
    info.encryptedVerifierHash = crypto::digest(crypto::sha1(), {verifier});
    info.encryptedVerifierHash.resize(kSealedHashLength, 0);
    crypto::aesEcb(crypto::Direction::Encrypt, key, info.encryptedVerifierHash);
    info.verifierHashSize = kSha1Length;
}

crypto::Bytes OfficeStandardCodec::blockKey(crypto::ByteView block) const {
    return keyFor(spun_, keyBytes_, block);
}

void OfficeStandardCodec::decode(std::uint32_t number, std::span<std::uint8_t> page) const {
    crypto::aesEcb(crypto::Direction::Decrypt, blockKey(pageKey(encodingKey_, number)), page);
}

void OfficeStandardCodec::encode(std::uint32_t number, std::span<std::uint8_t> page) const {
    crypto::aesEcb(crypto::Direction::Encrypt, blockKey(pageKey(encodingKey_, number)), page);
}

}  // namespace jet::file
