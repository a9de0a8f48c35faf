// The database definition page (page 0): which format the file is, its code page, whether it is
// encrypted, and the database password.
#pragma once

#include <cstdint>
#include <string>

#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::file {

enum class Encryption { None, JetRc4, OfficeCryptoApi, OfficeAgile, OfficeBinaryRc4, OfficeOther };
const char* encryptionName(Encryption e);

struct Header {
    const format::Format* format = nullptr;
    std::uint16_t codePage = 0;
    Encryption encryption = Encryption::None;
    bool hasPassword = false;
};

// Reads and checks page 0: the signature, the version, the password. Sets the page size of
// `file`, installs the unmasked page 0 and, for an encoded or encrypted file, the page codec
// (its keys derived here, once). Throws Error: UnrecognizedFormat, NotValidPassword,
// Unsupported (an encryption this engine cannot open).
Header openHeader(PageFile& file, const std::string& password);

}  // namespace jet::file
