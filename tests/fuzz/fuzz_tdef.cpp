// The input is laid over a real Jet 4 database from page 2 on, where the catalog's table
// definition starts: page 2 and, for longer inputs, the pages after it. The definition is read
// from page 2 and its rows are scanned, so a mutated definition is also tried against the real
// usage maps, data pages and long values of the file, and the property blobs it decodes are
// parsed as Access would.
#include <algorithm>

#include "fuzz_support.h"
#include "jet/file/header.h"
#include "jet/file/page_file.h"
#include "jet/store/property_map.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_scan.h"

namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::uint32_t kDefinitionPage = 2;

const fuzzsupport::Bytes& baseFile() {
    static const fuzzsupport::Bytes bytes =
        fuzzsupport::readWholeFile(fuzzsupport::fixture("jet4/empty2000.mdb"));
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Five pages: the definition with room for continuation pages up to the usage-map page.
    fuzzsupport::addDefaultFlags(argc, argv, {"-max_len=20480"});
    baseFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzsupport::MemoryFile file;
    fuzzsupport::Bytes bytes = baseFile();
    const std::size_t start = kDefinitionPage * kPageSize;
    bytes.resize(std::max(bytes.size(), start + size), 0);
    std::copy(data, data + size, bytes.begin() + static_cast<std::ptrdiff_t>(start));
    file.assign(bytes);

    jet::file::PageFile pages(file.path());
    const jet::file::Header header = jet::file::openHeader(pages, "");
    const jet::format::Format& fmt = *header.format;
    jet::TableDef def;
    try {
        def =
            jet::store::readTableDefinition(pages, fmt, kDefinitionPage, "Fuzzed", header.codePage);
    } catch (const jet::Error& e) {
        fuzzsupport::checkError(e, file.path());
        return 0;
    }
    try {
        jet::store::TableScan scan(pages, fmt, def, header.codePage);
        while (scan.next()) {
            for (const jet::Value& v : scan.row()) {
                const auto* blob = std::get_if<jet::Bytes>(&v);
                if (blob == nullptr) continue;
                try {
                    jet::store::parsePropertyMaps(fmt, *blob, header.codePage);
                } catch (const jet::Error& e) {
                    fuzzsupport::checkError(e, "");
                }
            }
        }
    } catch (const jet::Error& e) {
        // Below Database, scan errors do not know the file yet; Database adds its name.
        fuzzsupport::checkError(e, "");
    }
    return 0;
}
