// The binary encryption info of Office's CryptoAPI schemes (versions 2.2, 3.2 and 4.2), which
// an .accdb keeps in its header at 0x299 after a 2-byte length: RC4 CryptoAPI, and the AES of
// Office 2007's "standard" encryption. Numbers are little-endian.
//
//   OFFSET  SIZE  DESCRIPTION
//      0      2   major version (2, 3 or 4)
//      2      2   minor version (2)
//      4      4   flags (a copy of the header's)
//      8      4   H, the size of the header
//     12      H   header:
//                   +0  4  flags: 0x04 CryptoAPI, 0x08 document properties, 0x10 external,
//                          0x20 AES
//                   +4  4  size of extra data (0)
//                   +8  4  algorithm: 0x6801 RC4, 0x660E/0x660F/0x6610 AES-128/192/256;
//                          0 for the scheme's default
//                  +12  4  hash: 0x8004 SHA-1; 0 for SHA-1
//                  +16  4  key size in bits (RC4: 40 to 128, 0 for 40; AES: 128, 192, 256)
//                  +20  4  provider type (1 RSA full, 24 RSA and AES)
//                  +24  8  reserved
//                  +32     provider (CSP) name, UTF-16LE, ended by a 0 character
//   12+H      4   salt size (16)
//             16  salt
//             16  encrypted verifier
//              4  verifier hash size (20)
//              N  encrypted verifier hash (RC4: 20 bytes; AES: 32, the hash padded to blocks)
#pragma once

#include <cstdint>
#include <string>

#include "jet/base/error.h"
#include "jet/file/office_crypto.h"

namespace jet::file {

inline constexpr std::uint32_t kCryptoApiFlag = 0x04;
inline constexpr std::uint32_t kCryptoApiAesFlag = 0x20;
inline constexpr std::uint32_t kAlgorithmRc4 = 0x6801;
inline constexpr std::uint32_t kAlgorithmAes128 = 0x660E;
inline constexpr std::uint32_t kAlgorithmAes192 = 0x660F;
inline constexpr std::uint32_t kAlgorithmAes256 = 0x6610;
inline constexpr std::uint32_t kHashSha1 = 0x8004;

struct CryptoApiInfo {
    std::uint16_t major = 4;
    std::uint16_t minor = 2;
    std::uint32_t flags = kCryptoApiFlag;
    std::uint32_t algorithm = 0;
    std::uint32_t hash = 0;
    std::uint32_t keyBits = 0;
    std::uint32_t providerType = 0;
    std::string provider;  // UTF-8
    crypto::Bytes salt;
    crypto::Bytes encryptedVerifier;
    std::uint32_t verifierHashSize = 20;
    crypto::Bytes encryptedVerifierHash;

    // Whether the pages are AES (an AES algorithm, or none stated under the AES flag); else RC4
    // is meant, or something neither codec takes.
    bool aes() const;
    // What was found, for refusals: "algorithm 0x6610 (AES-256), hash 0x8004 (SHA-1), key 256
    // bits, provider 'Microsoft Enhanced RSA and AES Cryptographic Provider' (type 24)".
    std::string description() const;
    // Error(Unsupported): the database at `path` is protected with `what` (the scheme and its
    // flaw), and what the info says.
    Error refusal(const std::string& path, const std::string& what) const;
    // The info as the header stores it (after its length).
    crypto::Bytes bytes() const;
};

// Reads the info; throws Error(Unsupported) naming the file when it is truncated or not a
// CryptoAPI info at all.
CryptoApiInfo readCryptoApiInfo(crypto::ByteView info, const std::string& path);

}  // namespace jet::file
