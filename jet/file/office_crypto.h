// The few primitives of Office encryption, over OpenSSL's libcrypto: digests, AES-CBC without
// padding, base64. Failures of the library itself are Error(Io); bad input is the caller's to
// refuse first.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

using EvpMd = struct evp_md_st;

namespace jet::file::crypto {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The digest of that name as an encryption descriptor writes it ("SHA1", "SHA512", ...), or
// null for one this engine does not take.
const EvpMd* digestNamed(std::string_view name);
const EvpMd* sha1();
const EvpMd* md5();
std::size_t digestSize(const EvpMd* md);

// The digest of the parts, one after the other.
Bytes digest(const EvpMd* md, std::initializer_list<ByteView> parts);

// `bytes` cut or padded with `pad` to `length`.
Bytes resized(Bytes bytes, std::size_t length, std::uint8_t pad);

// Encrypts or decrypts `data` in place; its length is a multiple of 16, the key 16, 24 or 32
// bytes long.
enum class Direction { Encrypt, Decrypt };
void aesCbc(Direction direction, ByteView key, ByteView iv, std::span<std::uint8_t> data);
// The same, each block on its own (ECB, no IV).
void aesEcb(Direction direction, ByteView key, std::span<std::uint8_t> data);

// Decodes base64; false for text that is not base64.
bool base64Decode(std::string_view text, Bytes& out);

// `password` (UTF-8) as UTF-16LE, as the key derivations hash it.
Bytes passwordBytes(std::string_view password);

}  // namespace jet::file::crypto
