#include "jet/file/office_crypto_api.h"

#include <cstdio>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/base/text_codec.h"

namespace jet::file {
namespace {

constexpr std::size_t kHeaderFixed = 32;  // flags .. reserved, before the provider's name
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kVerifierSize = 16;

std::string hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", v);
    return text;
}

const char* algorithmName(std::uint32_t algorithm) {
    switch (algorithm) {
        case kAlgorithmRc4:
            return "RC4";
        case kAlgorithmAes128:
            return "AES-128";
        case kAlgorithmAes192:
            return "AES-192";
        case kAlgorithmAes256:
            return "AES-256";
        case 0:
            return "unstated";
        default:
            return "unknown";
    }
}

void putU32(crypto::Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

bool CryptoApiInfo::aes() const {
    return algorithm == kAlgorithmAes128 || algorithm == kAlgorithmAes192 ||
           algorithm == kAlgorithmAes256 || (algorithm == 0 && (flags & kCryptoApiAesFlag));
}

std::string CryptoApiInfo::description() const {
    return "version " + std::to_string(major) + "." + std::to_string(minor) + ", flags " +
           hex(flags) + ", algorithm " + hex(algorithm) + " (" + algorithmName(algorithm) +
           "), hash " + hex(hash) + (hash == kHashSha1 || hash == 0 ? " (SHA-1)" : " (unknown)") +
           ", key " + std::to_string(keyBits) + " bits, provider '" + provider + "' (type " +
           std::to_string(providerType) + ")";
}

Error CryptoApiInfo::refusal(const std::string& path, const std::string& what) const {
    return Error(ErrorCode::Unsupported, "The database '" + path + "' is protected with " + what +
                                             " (" + description() +
                                             "), which this engine cannot open.")
        .about(path);
}

crypto::Bytes CryptoApiInfo::bytes() const {
    crypto::Bytes header;
    putU32(header, flags);
    putU32(header, 0);
    putU32(header, algorithm);
    putU32(header, hash);
    putU32(header, keyBits);
    putU32(header, providerType);
    putU32(header, 0);
    putU32(header, 0);
    crypto::Bytes name = crypto::passwordBytes(provider);  // UTF-16LE
    header.insert(header.end(), name.begin(), name.end());
    header.insert(header.end(), {0, 0});

    crypto::Bytes out{static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(major >> 8),
                      static_cast<std::uint8_t>(minor), static_cast<std::uint8_t>(minor >> 8)};
    putU32(out, flags);
    putU32(out, static_cast<std::uint32_t>(header.size()));
    out.insert(out.end(), header.begin(), header.end());
    putU32(out, static_cast<std::uint32_t>(salt.size()));
    out.insert(out.end(), salt.begin(), salt.end());
    out.insert(out.end(), encryptedVerifier.begin(), encryptedVerifier.end());
    putU32(out, verifierHashSize);
    out.insert(out.end(), encryptedVerifierHash.begin(), encryptedVerifierHash.end());
    return out;
}

CryptoApiInfo readCryptoApiInfo(crypto::ByteView info, const std::string& path) {
    const auto truncated = [&]() {
        return Error(ErrorCode::Unsupported,
                     "The database '" + path +
                         "' is protected with Office CryptoAPI encryption whose description is "
                         "truncated, which this engine cannot open.");
    };
    if (info.size() < 12 + kHeaderFixed) throw truncated();
    CryptoApiInfo r;
    r.major = u16(info, 0);
    r.minor = u16(info, 2);
    const std::size_t headerSize = u32(info, 8);
    if (headerSize < kHeaderFixed || headerSize > info.size() - 12) throw truncated();
    const crypto::ByteView header = info.subspan(12, headerSize);
    r.flags = u32(header, 0);
    r.algorithm = u32(header, 8);
    r.hash = u32(header, 12);
    r.keyBits = u32(header, 16);
    r.providerType = u32(header, 20);
    // The provider's name ends at its first 0 character (or with the header).
    std::size_t nameEnd = kHeaderFixed;
    while (nameEnd + 1 < header.size() && (header[nameEnd] != 0 || header[nameEnd + 1] != 0)) {
        nameEnd += 2;
    }
    if (nameEnd > kHeaderFixed) {
        r.provider = decodeUnicodeText(header.subspan(kHeaderFixed, nameEnd - kHeaderFixed));
    }

    const std::size_t at = 12 + headerSize;
    if (info.size() < at + 4 + kSaltSize + kVerifierSize + 4) throw truncated();
    if (u32(info, at) != kSaltSize) {
        throw r.refusal(path, "Office CryptoAPI encryption with a salt of " +
                                  std::to_string(u32(info, at)) + " bytes");
    }
    const auto salt = info.subspan(at + 4, kSaltSize);
    r.salt.assign(salt.begin(), salt.end());
    const auto verifier = info.subspan(at + 4 + kSaltSize, kVerifierSize);
    r.encryptedVerifier.assign(verifier.begin(), verifier.end());
    r.verifierHashSize = u32(info, at + 4 + kSaltSize + kVerifierSize);
    const auto rest = info.subspan(at + 8 + kSaltSize + kVerifierSize);
    r.encryptedVerifierHash.assign(rest.begin(), rest.end());
    return r;
}

}  // namespace jet::file
