#include "jet/file/header.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/base/text_codec.h"
#include "jet/file/jet_rc4_codec.h"
#include "jet/file/office_agile_codec.h"
#include "jet/file/office_binary_rc4_codec.h"
#include "jet/file/office_rc4_codec.h"
#include "jet/file/office_standard_codec.h"
#include "jet/file/rc4.h"

namespace jet::file {
namespace {

constexpr std::array<std::uint8_t, 4> kHeaderKey{0xC7, 0xDA, 0x39, 0x6B};
constexpr std::uint32_t kVersionOffset = 0x14;
constexpr std::uint32_t kOfficeCryptOffset = 0x299;

[[noreturn]] void unrecognized(const std::string& path) {
    throw Error(ErrorCode::UnrecognizedFormat, "Unrecognized database format '" + path + "'.");
}

bool allZero(ByteSpan b) {
    for (auto c : b)
        if (c != 0) return false;
    return true;
}

Encryption officeEncryption(ByteSpan page) {
    if (page.size() < kOfficeCryptOffset + 2 + 8) return Encryption::OfficeOther;
    const std::uint16_t infoLength = u16(page, kOfficeCryptOffset);
    if (infoLength < 8 || kOfficeCryptOffset + 2 + infoLength > page.size()) {
        return Encryption::OfficeOther;
    }
    const std::uint16_t major = u16(page, kOfficeCryptOffset + 2);
    const std::uint16_t minor = u16(page, kOfficeCryptOffset + 4);
    if (major == 4 && minor == 4) return Encryption::OfficeAgile;
    if (major == 1 && minor == 1) return Encryption::OfficeBinaryRc4;
    if ((major == 2 || major == 3 || major == 4) && minor == 2) return Encryption::OfficeCryptoApi;
    return Encryption::OfficeOther;
}

// The stored password, unmasked and decoded; empty when the database has none.
std::string storedPassword(const format::Format& fmt, ByteSpan page, std::uint16_t codePage) {
    std::vector<std::uint8_t> pwd(page.begin() + fmt.passwordOffset,
                                  page.begin() + fmt.passwordOffset + fmt.passwordLength);
    if (fmt.creationDateOffset != 0) {
        // Jet 4 masks the password once more with the whole days of the creation date.
        const double created = f64(page, fmt.creationDateOffset);
        const double whole = std::isfinite(created) ? std::floor(created) : 0.0;
        const auto days =
            static_cast<std::uint32_t>(static_cast<std::int32_t>(whole < -2e9  ? -2e9
                                                                 : whole > 2e9 ? 2e9
                                                                               : whole));
        for (std::size_t i = 0; i < pwd.size(); ++i) pwd[i] ^= (days >> (8 * (i % 4))) & 0xFF;
    }
    if (allZero(pwd)) return {};
    std::string text = fmt.jet3 ? decodeCodePageText(pwd, codePage) : decodeUnicodeText(pwd);
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

std::unique_ptr<const PageCodec> pageCodec(Encryption encryption, const format::Format& fmt,
                                           ByteSpan page, const std::string& password,
                                           const std::string& path) {
    std::array<std::uint8_t, 4> key{};
    std::copy_n(page.begin() + fmt.encodingKeyOffset, key.size(), key.begin());
    const auto info = [&] {
        const std::uint16_t length = u16(page, kOfficeCryptOffset);
        return page.subspan(kOfficeCryptOffset + 2, length);
    };
    switch (encryption) {
        case Encryption::JetRc4:
            // Jet 3 and Jet 4 alike: RC4 keyed with the database key XOR the page number.
            return std::make_unique<JetRc4Codec>(key);
        case Encryption::OfficeCryptoApi: {
            // RC4 or AES, as the info's algorithm (or, unstated, its AES flag) says.
            const CryptoApiInfo api = readCryptoApiInfo(info(), path);
            if ((api.flags & kCryptoApiFlag) == 0) {
                throw Error(ErrorCode::Unsupported,
                            "The database '" + path +
                                "' is protected with an Office encryption that does not use "
                                "CryptoAPI (" +
                                api.description() + "), which this engine cannot open.");
            }
            if (api.aes()) return std::make_unique<OfficeStandardCodec>(api, key, password, path);
            return std::make_unique<OfficeRc4Codec>(api, key, password, path);
        }
        case Encryption::OfficeAgile:
            return std::make_unique<OfficeAgileCodec>(info(), key, password, path);
        case Encryption::OfficeBinaryRc4:
            return std::make_unique<OfficeBinaryRc4Codec>(info(), key, password, path);
        case Encryption::None:
        case Encryption::OfficeOther:
            break;
    }
    std::string found;
    if (encryption == Encryption::OfficeOther) {
        // Say which: the info's version (1.1 is Office's older RC4, 3.3 and 4.3 extensible).
        if (page.size() >= kOfficeCryptOffset + 6) {
            found = " (version " + std::to_string(u16(page, kOfficeCryptOffset + 2)) + "." +
                    std::to_string(u16(page, kOfficeCryptOffset + 4)) + ")";
        }
    }
    throw Error(ErrorCode::Unsupported, "The database '" + path + "' is protected with " +
                                            encryptionName(encryption) + found +
                                            ", which this version of the engine cannot open.");
}

}  // namespace

const char* encryptionName(Encryption e) {
    switch (e) {
        case Encryption::None:
            return "none";
        case Encryption::JetRc4:
            return "Jet RC4 encoding";
        case Encryption::OfficeCryptoApi:
            return "Office CryptoAPI (RC4 or standard AES) encryption";
        case Encryption::OfficeAgile:
            return "Office agile (AES) encryption";
        case Encryption::OfficeBinaryRc4:
            return "Office binary RC4 encryption";
        case Encryption::OfficeOther:
            return "an Office encryption scheme";
    }
    return "unknown";
}

Header openHeader(PageFile& file, const std::string& password) {
    const std::string& path = file.path();
    static constexpr char kJet[] = "Standard Jet DB";
    static constexpr char kAce[] = "Standard ACE DB";
    if (file.sizeInBytes() < 2048) unrecognized(path);
    const auto start = file.readAt(0, 0x20);
    if (start[0] != 0x00 || start[1] != 0x01 || start[2] != 0x00 || start[3] != 0x00 ||
        (std::memcmp(start.data() + 4, kJet, 15) != 0 &&
         std::memcmp(start.data() + 4, kAce, 15) != 0)) {
        unrecognized(path);
    }
    const format::Format* fmt = format::forVersionByte(start[kVersionOffset]);
    // A database needs at least its header, the global usage map and the catalog's definition.
    if (fmt == nullptr || file.sizeInBytes() < std::uint64_t{fmt->pageSize} * 3) {
        unrecognized(path);
    }
    file.setPageSize(fmt->pageSize);
    // Access 97 opens files up to 1 GB, later versions up to 2 GB.
    if (fmt->jet3) {
        file.setSizeLimit(std::uint64_t{1} << 30, "1 GB");
    } else {
        file.setSizeLimit(std::uint64_t{1} << 31, "2 GB");
    }

    Page page = file.readAt(0, fmt->pageSize);
    rc4Apply(kHeaderKey, std::span(page).subspan(fmt->headerMaskedStart, fmt->headerMaskedLength));

    Header header;
    header.format = fmt;
    header.codePage = u16(page, fmt->codePageOffset);
    if (!allZero(ByteSpan(page).subspan(fmt->encodingKeyOffset, 4))) {
        header.encryption = fmt->version == Version::Jet3 || fmt->version == Version::Jet4
                                ? Encryption::JetRc4
                                : officeEncryption(page);
    }
    // The password is checked, and the keys derived, before any page but this one is read.
    if (header.encryption != Encryption::None) {
        file.setCodec(pageCodec(header.encryption, *fmt, page, password, path));
    }

    // An Office-encrypted file keeps no password in its header (the field holds filler): the
    // codec has already checked the password against the encryption's verifier.
    const bool office = header.encryption == Encryption::OfficeCryptoApi ||
                        header.encryption == Encryption::OfficeBinaryRc4 ||
                        header.encryption == Encryption::OfficeAgile;
    const std::string stored = office ? std::string() : storedPassword(*fmt, page, header.codePage);
    header.hasPassword = office || !stored.empty();
    if (!office && header.hasPassword && stored != password) {
        throw Error(ErrorCode::NotValidPassword, "Not a valid password. (file '" + path + "')");
    }
    file.setHeaderPage(std::move(page));
    return header;
}

}  // namespace jet::file
