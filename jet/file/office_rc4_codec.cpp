#include "jet/file/office_rc4_codec.h"

#include <algorithm>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/file/rc4.h"

namespace jet::file {
namespace {

constexpr std::uint32_t kAlgorithmRc4 = 0x6801;
constexpr std::uint32_t kHashSha1 = 0x8004;
constexpr std::uint32_t kFlagCryptoApi = 0x04;
constexpr std::uint32_t kFlagAes = 0x20;
constexpr std::size_t kSaltLength = 16;
constexpr std::size_t kVerifierLength = 16;
constexpr std::size_t kSha1Length = 20;

[[noreturn]] void unsupported(const std::string& path, const std::string& what) {
    throw Error(ErrorCode::Unsupported, "The database '" + path +
                                            "' is protected with Office RC4 CryptoAPI "
                                            "encryption " +
                                            what + ", which this engine cannot open.");
}

}  // namespace

OfficeRc4Codec::OfficeRc4Codec(crypto::ByteView info, std::array<std::uint8_t, 4> encodingKey,
                               const std::string& password, const std::string& path)
    : encodingKey_(encodingKey) {
    // version (4), flags (4), header length (4), header, then the verifier.
    if (info.size() < 12) unsupported(path, "with a truncated description");
    const std::uint32_t headerLength = u32(info, 8);
    constexpr std::size_t kHeaderFixed = 32;  // flags .. reserved2, before the provider's name
    const std::size_t verifierAt = 12 + std::size_t{headerLength};
    const std::size_t verifierEnd =
        verifierAt + 4 + kSaltLength + kVerifierLength + 4 + kSha1Length;
    if (headerLength < kHeaderFixed || verifierEnd > info.size()) {
        unsupported(path, "with a truncated description");
    }
    const std::uint32_t flags = u32(info, 12);
    const std::uint32_t algorithm = u32(info, 12 + 8);
    const std::uint32_t hash = u32(info, 12 + 12);
    std::uint32_t keyBits = u32(info, 12 + 16);
    if ((flags & kFlagCryptoApi) == 0 || (flags & kFlagAes) != 0 ||
        (algorithm != kAlgorithmRc4 && algorithm != 0) || (hash != kHashSha1 && hash != 0)) {
        unsupported(path, "of an unknown kind");
    }
    // An unstated size is the 40 bits of the base provider; a key shorter than 128 bits is
    // padded with zeros to 128.
    if (keyBits == 0) keyBits = 40;
    if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0) unsupported(path, "with a key size");
    keyBytes_ = keyBits / 8;

    if (u32(info, verifierAt) != kSaltLength) unsupported(path, "with a salt size");
    const auto salt = info.subspan(verifierAt + 4, kSaltLength);
    if (u32(info, verifierAt + 4 + kSaltLength + kVerifierLength) != kSha1Length) {
        unsupported(path, "with a verifier size");
    }
    const crypto::Bytes pwd = crypto::passwordBytes(password);
    baseHash_ = crypto::digest(crypto::sha1(), {salt, pwd});

    // The verifier and its hash are one RC4 stream under the key of block 0.
    crypto::Bytes check(info.begin() + verifierAt + 4 + kSaltLength,
                        info.begin() + verifierAt + 4 + kSaltLength + kVerifierLength);
    const auto storedHash =
        info.subspan(verifierAt + 4 + kSaltLength + kVerifierLength + 4, kSha1Length);
    check.insert(check.end(), storedHash.begin(), storedHash.end());
    constexpr std::array<std::uint8_t, 4> kBlockZero{};
    rc4Apply(blockKey(kBlockZero), check);
    const auto verifier = crypto::ByteView(check).first(kVerifierLength);
    const crypto::Bytes expected = crypto::digest(crypto::sha1(), {verifier});
    if (!std::equal(expected.begin(), expected.end(), check.begin() + kVerifierLength)) {
        throw Error(ErrorCode::NotValidPassword, "Not a valid password. (file '" + path + "')");
    }
}

crypto::Bytes OfficeRc4Codec::blockKey(crypto::ByteView block) const {
    crypto::Bytes key = crypto::digest(crypto::sha1(), {baseHash_, block});
    key.resize(keyBytes_);
    if (keyBytes_ < 16) key.resize(16, 0);
    return key;
}

void OfficeRc4Codec::decode(std::uint32_t number, std::span<std::uint8_t> page) const {
    rc4Apply(blockKey(pageKey(encodingKey_, number)), page);
}

}  // namespace jet::file
