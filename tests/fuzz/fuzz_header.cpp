// The input is page 0 of a database: signature, version, the masked block with the password,
// the code page and the encryption fields. The file is padded with zeros to three 4 KB pages so
// that the header, not the file size, decides what happens.
#include <algorithm>

#include "fuzz_support.h"
#include "jet/file/header.h"
#include "jet/file/page_file.h"

namespace {
constexpr std::size_t kMinimumFileSize = 3 * 4096;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::addDefaultFlags(argc, argv, {"-max_len=4096"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzsupport::MemoryFile file;
    fuzzsupport::Bytes bytes(data, data + size);
    bytes.resize(std::max(bytes.size(), kMinimumFileSize), 0);
    file.assign(bytes);
    // Both with and without a password: a header with one stored takes the comparison path
    // with either, and one without ignores the password.
    for (const char* password : {"", "password"}) {
        try {
            jet::file::PageFile pages(file.path());
            const jet::file::Header header = jet::file::openHeader(pages, password);
            // The unmasked page 0 must now be what the file hands out.
            if (pages.page(0)->size() != header.format->pageSize) __builtin_trap();
        } catch (const jet::Error& e) {
            fuzzsupport::checkError(e, file.path());
        }
    }
    return 0;
}
