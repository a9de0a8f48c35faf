#include "jet/file/office_binary_rc4_codec.h"

#include <algorithm>

#include "jet/base/error.h"
#include "jet/file/rc4.h"

namespace jet::file {
namespace {

constexpr std::size_t kPart = 16;  // salt, verifier and its hash
constexpr std::size_t kTruncatedHash = 5;
constexpr std::size_t kSpread = 16;  // times the password hash and salt are repeated
constexpr std::array<std::uint8_t, 4> kBlockZero{};

crypto::Bytes baseOf(const std::string& password, crypto::ByteView salt) {
    crypto::Bytes h = crypto::digest(crypto::md5(), {crypto::passwordBytes(password)});
    h.resize(kTruncatedHash);
    h.insert(h.end(), salt.begin(), salt.end());
    crypto::Bytes spread;
    for (std::size_t i = 0; i < kSpread; ++i) spread.insert(spread.end(), h.begin(), h.end());
    crypto::Bytes base = crypto::digest(crypto::md5(), {spread});
    base.resize(kTruncatedHash);
    return base;
}

crypto::Bytes keyFor(crypto::ByteView base, crypto::ByteView block) {
    return crypto::digest(crypto::md5(), {base, block});
}

}  // namespace

OfficeBinaryRc4Codec::OfficeBinaryRc4Codec(crypto::ByteView info,
                                           std::array<std::uint8_t, 4> encodingKey,
                                           const std::string& password, const std::string& path)
    : encodingKey_(encodingKey) {
    if (info.size() < 4 + 3 * kPart) {
        throw Error(ErrorCode::Unsupported,
                    "The database '" + path +
                        "' is protected with Office binary RC4 encryption (version 1.1) whose "
                        "description is truncated, which this engine cannot open.")
            .about(path);
    }
    base_ = baseOf(password, info.subspan(4, kPart));
    crypto::Bytes check(info.begin() + 4 + kPart, info.begin() + 4 + 3 * kPart);
    rc4Apply(keyFor(base_, kBlockZero), check);
    const crypto::Bytes expected =
        crypto::digest(crypto::md5(), {crypto::ByteView(check).first(kPart)});
    if (!std::equal(expected.begin(), expected.end(), check.begin() + kPart)) {
        throw Error(ErrorCode::NotValidPassword, "Not a valid password. (file '" + path + "')");
    }
}

crypto::Bytes OfficeBinaryRc4Codec::seal(const std::string& password, crypto::ByteView salt,
                                         crypto::ByteView verifier) {
    crypto::Bytes sealed(verifier.begin(), verifier.end());
    const crypto::Bytes hash = crypto::digest(crypto::md5(), {verifier});
    sealed.insert(sealed.end(), hash.begin(), hash.end());
    rc4Apply(keyFor(baseOf(password, salt), kBlockZero), sealed);
    crypto::Bytes info{1, 0, 1, 0};
    info.insert(info.end(), salt.begin(), salt.end());
    info.insert(info.end(), sealed.begin(), sealed.end());
    return info;
}

void OfficeBinaryRc4Codec::decode(std::uint32_t number, std::span<std::uint8_t> page) const {
    rc4Apply(keyFor(base_, pageKey(encodingKey_, number)), page);
}

}  // namespace jet::file
