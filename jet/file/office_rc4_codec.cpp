#include "jet/file/office_rc4_codec.h"

#include <algorithm>

#include "jet/base/error.h"
#include "jet/file/rc4.h"

namespace jet::file {
namespace {

constexpr std::size_t kVerifierLength = 16;
constexpr std::size_t kSha1Length = 20;
constexpr std::array<std::uint8_t, 4> kBlockZero{};

// The key size the info means: an unstated one is the 40 bits of the base provider.
std::uint32_t keyBitsOf(const CryptoApiInfo& info) { return info.keyBits == 0 ? 40 : info.keyBits; }

crypto::Bytes keyFor(crypto::ByteView baseHash, std::uint32_t keyBits, crypto::ByteView block) {
    crypto::Bytes key = crypto::digest(crypto::sha1(), {baseHash, block});
    key.resize(keyBits / 8);
    // Only a 40-bit key is stretched to 128 bits with zeros; a 56-bit one, say, is used as is.
    if (keyBits == 40) key.resize(16, 0);
    return key;
}

crypto::Bytes baseHashOf(const CryptoApiInfo& info, const std::string& password) {
    return crypto::digest(crypto::sha1(), {info.salt, crypto::passwordBytes(password)});
}

}  // namespace

OfficeRc4Codec::OfficeRc4Codec(const CryptoApiInfo& info, std::array<std::uint8_t, 4> encodingKey,
                               const std::string& password, const std::string& path)
    : encodingKey_(encodingKey), keyBits_(keyBitsOf(info)) {
    const auto refuse = [&](const std::string& what) {
        throw info.refusal(path, "Office RC4 CryptoAPI encryption " + what);
    };
    if ((info.flags & kCryptoApiAesFlag) ||
        (info.algorithm != kAlgorithmRc4 && info.algorithm != 0) ||
        (info.hash != kHashSha1 && info.hash != 0)) {
        refuse("of an unknown kind");
    }
    if (keyBits_ < 40 || keyBits_ > 128 || keyBits_ % 8 != 0) refuse("with a key size");
    if (info.verifierHashSize != kSha1Length || info.encryptedVerifier.size() != kVerifierLength ||
        info.encryptedVerifierHash.size() < kSha1Length) {
        refuse("with a verifier size");
    }
    baseHash_ = baseHashOf(info, password);

    // The verifier and its hash are one RC4 stream under the key of block 0.
    crypto::Bytes check = info.encryptedVerifier;
    check.insert(check.end(), info.encryptedVerifierHash.begin(),
                 info.encryptedVerifierHash.begin() + kSha1Length);
    rc4Apply(blockKey(kBlockZero), check);
    const auto verifier = crypto::ByteView(check).first(kVerifierLength);
    const crypto::Bytes expected = crypto::digest(crypto::sha1(), {verifier});
    if (!std::equal(expected.begin(), expected.end(), check.begin() + kVerifierLength)) {
        throw Error(ErrorCode::NotValidPassword, "Not a valid password. (file '" + path + "')");
    }
}

void OfficeRc4Codec::seal(CryptoApiInfo& info, const std::string& password,
                          crypto::ByteView verifier) {
    crypto::Bytes sealed(verifier.begin(), verifier.end());
    const crypto::Bytes hash = crypto::digest(crypto::sha1(), {verifier});
    sealed.insert(sealed.end(), hash.begin(), hash.end());
    rc4Apply(keyFor(baseHashOf(info, password), keyBitsOf(info), kBlockZero), sealed);
    info.encryptedVerifier.assign(sealed.begin(), sealed.begin() + kVerifierLength);
    info.encryptedVerifierHash.assign(sealed.begin() + kVerifierLength, sealed.end());
    info.verifierHashSize = kSha1Length;
}

crypto::Bytes OfficeRc4Codec::blockKey(crypto::ByteView block) const {
    return keyFor(baseHash_, keyBits_, block);
}

void OfficeRc4Codec::decode(std::uint32_t number, std::span<std::uint8_t> page) const {
    rc4Apply(blockKey(pageKey(encodingKey_, number)), page);
}

}  // namespace jet::file
