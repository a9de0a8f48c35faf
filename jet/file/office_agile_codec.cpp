#include "jet/file/office_agile_codec.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <string_view>

#include "jet/base/bytes.h"
#include "jet/base/error.h"

namespace jet::file {
namespace {

constexpr std::uint32_t kDescriptorReserved = 0x40;
constexpr std::string_view kPasswordEncryptor =
    "http://schemas.microsoft.com/office/2006/keyEncryptor/password";
// Office's own limit; a descriptor asking for more is damaged or hostile.
constexpr std::uint32_t kMaxSpinCount = 10'000'000;

constexpr std::array<std::uint8_t, 8> kVerifierInputBlock{0xfe, 0xa7, 0xd2, 0x76,
                                                          0x3b, 0x4b, 0x9e, 0x79};
constexpr std::array<std::uint8_t, 8> kVerifierValueBlock{0xd7, 0xaa, 0x0f, 0x6d,
                                                          0x30, 0x61, 0x34, 0x4e};
constexpr std::array<std::uint8_t, 8> kKeyValueBlock{0x14, 0x6e, 0x0b, 0xe7,
                                                     0xab, 0xac, 0xd0, 0xd6};

class Refusal {
public:
    explicit Refusal(const std::string& path) : path_(path) {}
    [[noreturn]] void operator()(const std::string& what) const {
        throw Error(ErrorCode::Unsupported, "The database '" + path_ +
                                                "' is protected with Office agile encryption " +
                                                what + ", which this engine cannot open.");
    }

private:
    const std::string& path_;
};

using Attributes = std::map<std::string, std::string, std::less<>>;

// The element of local name `name` (any namespace prefix) at or after `from`, with its
// attributes; npos when there is none. The descriptor is machine-written XML: attribute values
// in double quotes, no entities in the values this codec reads.
std::size_t findElement(std::string_view xml, std::string_view name, std::size_t from,
                        Attributes& attributes) {
    for (std::size_t at = xml.find('<', from); at != std::string_view::npos;
         at = xml.find('<', at + 1)) {
        std::size_t nameEnd = at + 1;
        while (nameEnd < xml.size() && xml[nameEnd] != ' ' && xml[nameEnd] != '>' &&
               xml[nameEnd] != '/' && xml[nameEnd] != '\r' && xml[nameEnd] != '\n' &&
               xml[nameEnd] != '\t') {
            ++nameEnd;
        }
        std::string_view qualified = xml.substr(at + 1, nameEnd - at - 1);
        if (const auto colon = qualified.find(':'); colon != std::string_view::npos) {
            qualified.remove_prefix(colon + 1);
        }
        if (qualified != name) continue;
        const std::size_t end = xml.find('>', nameEnd);
        if (end == std::string_view::npos) return std::string_view::npos;
        attributes.clear();
        std::size_t i = nameEnd;
        while (true) {
            const std::size_t eq = xml.find('=', i);
            if (eq == std::string_view::npos || eq > end) break;
            std::size_t keyStart = eq;
            while (keyStart > i && xml[keyStart - 1] != ' ' && xml[keyStart - 1] != '\n' &&
                   xml[keyStart - 1] != '\r' && xml[keyStart - 1] != '\t') {
                --keyStart;
            }
            if (eq + 1 >= xml.size() || xml[eq + 1] != '"') break;
            const std::size_t close = xml.find('"', eq + 2);
            if (close == std::string_view::npos || close > end) break;
            attributes.emplace(std::string(xml.substr(keyStart, eq - keyStart)),
                               std::string(xml.substr(eq + 2, close - eq - 2)));
            i = close + 1;
        }
        return at;
    }
    return std::string_view::npos;
}

// The settings of keyData or of the password's encryptedKey, checked.
struct CipherParams {
    const EvpMd* hash = nullptr;
    std::size_t hashSize = 0;
    std::size_t keyBytes = 0;
    std::size_t blockSize = 0;
    crypto::Bytes salt;
};

std::string attribute(const Attributes& a, std::string_view name, const Refusal& refuse) {
    const auto it = a.find(name);
    if (it == a.end()) refuse("whose descriptor lacks " + std::string(name));
    return it->second;
}

std::uint32_t number(const Attributes& a, std::string_view name, const Refusal& refuse) {
    const std::string text = attribute(a, name, refuse);
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        refuse("whose descriptor has " + std::string(name) + " \"" + text + "\"");
    }
    return value;
}

crypto::Bytes binary(const Attributes& a, std::string_view name, const Refusal& refuse) {
    crypto::Bytes out;
    if (!crypto::base64Decode(attribute(a, name, refuse), out)) {
        refuse("whose descriptor has a " + std::string(name) + " that is not base64");
    }
    return out;
}

CipherParams cipherParams(const Attributes& a, const Refusal& refuse) {
    const std::string cipher = attribute(a, "cipherAlgorithm", refuse);
    const std::string chaining = attribute(a, "cipherChaining", refuse);
    if (cipher != "AES" || chaining != "ChainingModeCBC") {
        refuse("with the cipher " + cipher + " (" + chaining + ")");
    }
    CipherParams p;
    const std::string hashName = attribute(a, "hashAlgorithm", refuse);
    p.hash = crypto::digestNamed(hashName);
    if (p.hash == nullptr) refuse("with the hash " + hashName);
    p.hashSize = number(a, "hashSize", refuse);
    if (p.hashSize != crypto::digestSize(p.hash)) refuse("with a hash size that does not fit");
    const std::uint32_t keyBits = number(a, "keyBits", refuse);
    if (keyBits != 128 && keyBits != 192 && keyBits != 256) refuse("with a key size");
    p.keyBytes = keyBits / 8;
    p.blockSize = number(a, "blockSize", refuse);
    if (p.blockSize != 16) refuse("with a block size");
    p.salt = binary(a, "saltValue", refuse);
    if (p.salt.size() != number(a, "saltSize", refuse) || p.salt.size() < p.blockSize) {
        refuse("with a salt size");
    }
    return p;
}

crypto::Bytes decrypted(const crypto::Bytes& key, const CipherParams& p, crypto::Bytes data,
                        const Refusal& refuse) {
    if (data.empty() || data.size() % p.blockSize != 0) refuse("with a damaged key record");
    crypto::aesCbc(crypto::Direction::Decrypt, key, crypto::ByteView(p.salt).first(p.blockSize),
                   data);
    return data;
}

}  // namespace

OfficeAgileCodec::OfficeAgileCodec(crypto::ByteView info, std::array<std::uint8_t, 4> encodingKey,
                                   const std::string& password, const std::string& path)
    : encodingKey_(encodingKey) {
    const Refusal refuse(path);
    // version 4.4 (4), reserved 0x40 (4), then the XML.
    if (info.size() < 8 || u32(info, 4) != kDescriptorReserved) {
        refuse("with a descriptor of an unknown layout");
    }
    const std::string_view xml(reinterpret_cast<const char*>(info.data()) + 8, info.size() - 8);

    Attributes a;
    if (findElement(xml, "keyData", 0, a) == std::string_view::npos) {
        refuse("whose descriptor lacks keyData");
    }
    const CipherParams data = cipherParams(a, refuse);
    // Access writes none: its pages change one at a time. A file that has one can be read.
    Attributes integrity;
    checksWholeFile_ = findElement(xml, "dataIntegrity", 0, integrity) != std::string_view::npos;

    // The password's key encryptor; a certificate's, when there is one too, is not ours to use.
    std::size_t at = 0;
    while (true) {
        at = findElement(xml, "keyEncryptor", at, a);
        if (at == std::string_view::npos) refuse("without a password key encryptor");
        ++at;
        if (const auto uri = a.find("uri"); uri != a.end() && uri->second == kPasswordEncryptor) {
            break;
        }
    }
    if (findElement(xml, "encryptedKey", at, a) == std::string_view::npos) {
        refuse("whose descriptor lacks the password's encryptedKey");
    }
    const CipherParams pk = cipherParams(a, refuse);
    const std::uint32_t spinCount = number(a, "spinCount", refuse);
    if (spinCount > kMaxSpinCount) refuse("with a spin count of " + std::to_string(spinCount));
    const crypto::Bytes verifierInput = binary(a, "encryptedVerifierHashInput", refuse);
    const crypto::Bytes verifierValue = binary(a, "encryptedVerifierHashValue", refuse);
    const crypto::Bytes keyValue = binary(a, "encryptedKeyValue", refuse);

    // The spun hash is shared by the three keys below: derived once.
    const crypto::Bytes pwd = crypto::passwordBytes(password);
    crypto::Bytes spun = crypto::digest(pk.hash, {pk.salt, pwd});
    for (std::uint32_t i = 0; i < spinCount; ++i) {
        const std::array<std::uint8_t, 4> iteration{
            static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
            static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 24)};
        spun = crypto::digest(pk.hash, {iteration, spun});
    }
    const auto keyFor = [&](crypto::ByteView block) {
        return crypto::resized(crypto::digest(pk.hash, {spun, block}), pk.keyBytes, 0x36);
    };

    const crypto::Bytes input = decrypted(keyFor(kVerifierInputBlock), pk, verifierInput, refuse);
    const crypto::Bytes value = decrypted(keyFor(kVerifierValueBlock), pk, verifierValue, refuse);
    if (input.size() < pk.salt.size() || value.size() < pk.hashSize) {
        refuse("with a damaged verifier");
    }
    const crypto::Bytes expected =
        crypto::digest(pk.hash, {crypto::ByteView(input).first(pk.salt.size())});
    if (!std::equal(expected.begin(), expected.end(), value.begin())) {
        throw Error(ErrorCode::NotValidPassword, "Not a valid password. (file '" + path + "')");
    }
    secretKey_ = decrypted(keyFor(kKeyValueBlock), pk, keyValue, refuse);
    if (secretKey_.size() < data.keyBytes) refuse("with a damaged key record");
    secretKey_.resize(data.keyBytes);
    salt_ = data.salt;
    hash_ = data.hash;
    blockSize_ = data.blockSize;
}

crypto::Bytes OfficeAgileCodec::pageIv(std::uint32_t number) const {
    const auto key = pageKey(encodingKey_, number);
    return crypto::resized(crypto::digest(hash_, {salt_, key}), blockSize_, 0x36);
}

void OfficeAgileCodec::decode(std::uint32_t number, std::span<std::uint8_t> page) const {
    crypto::aesCbc(crypto::Direction::Decrypt, secretKey_, pageIv(number), page);
}

void OfficeAgileCodec::encode(std::uint32_t number, std::span<std::uint8_t> page) const {
    crypto::aesCbc(crypto::Direction::Encrypt, secretKey_, pageIv(number), page);
}

}  // namespace jet::file
