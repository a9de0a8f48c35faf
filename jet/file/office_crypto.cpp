#include "jet/file/office_crypto.h"

#include <openssl/evp.h>

#include <memory>
#include <string>

#include "jet/base/error.h"
#include "jet/base/utf8.h"

namespace jet::file::crypto {
namespace {

[[noreturn]] void libraryFailed(const char* what) {
    throw Error(ErrorCode::Io, std::string("The cryptographic library failed to ") + what + ".");
}

}  // namespace

const EvpMd* digestNamed(std::string_view name) {
    if (name == "SHA1" || name == "SHA-1") return EVP_sha1();
    if (name == "SHA256") return EVP_sha256();
    if (name == "SHA384") return EVP_sha384();
    if (name == "SHA512") return EVP_sha512();
    return nullptr;
}

const EvpMd* sha1() { return EVP_sha1(); }

const EvpMd* md5() { return EVP_md5(); }

std::size_t digestSize(const EvpMd* md) { return static_cast<std::size_t>(EVP_MD_get_size(md)); }

Bytes digest(const EvpMd* md, std::initializer_list<ByteView> parts) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(),
                                                                      &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) libraryFailed("start a digest");
    for (const auto part : parts) {
        if (EVP_DigestUpdate(ctx.get(), part.data(), part.size()) != 1) {
            libraryFailed("compute a digest");
        }
    }
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), out.data(), &length) != 1) libraryFailed("end a digest");
    out.resize(length);
    return out;
}

Bytes resized(Bytes bytes, std::size_t length, std::uint8_t pad) {
    bytes.resize(length, pad);
    return bytes;
}

namespace {

// AES over whole blocks, without padding; `iv` empty for ECB.
void aes(Direction direction, ByteView key, ByteView iv, std::span<std::uint8_t> data) {
    const bool ecb = iv.empty();
    const EVP_CIPHER* cipher = key.size() == 16   ? (ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc())
                               : key.size() == 24 ? (ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc())
                               : key.size() == 32 ? (ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc())
                                                  : nullptr;
    if (cipher == nullptr || (!ecb && iv.size() != 16) || data.size() % 16 != 0) {
        libraryFailed("take an AES key or block");
    }
    const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                              &EVP_CIPHER_CTX_free);
    int written = 0;
    int last = 0;
    const int encrypt = direction == Direction::Encrypt ? 1 : 0;
    if (!ctx ||
        EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), ecb ? nullptr : iv.data(),
                          encrypt) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), data.data(), &written, data.data(),
                         static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), data.data() + written, &last) != 1) {
        libraryFailed(encrypt != 0 ? "encrypt" : "decrypt");
    }
}

}  // namespace

void aesCbc(Direction direction, ByteView key, ByteView iv, std::span<std::uint8_t> data) {
    if (iv.size() != 16) libraryFailed("take an AES key or block");
    aes(direction, key, iv, data);
}

void aesEcb(Direction direction, ByteView key, std::span<std::uint8_t> data) {
    aes(direction, key, {}, data);
}

bool base64Decode(std::string_view text, Bytes& out) {
    if (text.size() % 4 != 0) return false;
    out.assign(text.size() / 4 * 3, 0);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) return false;
    // EVP_DecodeBlock counts the padding as data.
    std::size_t length = static_cast<std::size_t>(n);
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '=' && length > 0; --i) --length;
    out.resize(length);
    return true;
}

Bytes passwordBytes(std::string_view password) {
    Bytes out;
    appendUtf16(out, password);
    return out;
}

}  // namespace jet::file::crypto
