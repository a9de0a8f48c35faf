// The input is one stored row: its first byte picks a real table definition (read from a
// fixture at start-up), the rest is decoded as a row of that table: column count, fixed area,
// variable offsets (Jet 3's jump table included), null mask, calculated-column wrappers and
// long-value references, which are followed into the fixture's real pages. The decoded values
// are then printed in their text forms, as the dump would.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <variant>

#include "fuzz_support.h"
#include "jet/database.h"
#include "jet/file/header.h"
#include "jet/file/page_file.h"
#include "jet/store/property_map.h"
#include "jet/store/row_codec.h"

namespace {

struct Table {
    std::unique_ptr<jet::file::PageFile> pages;
    jet::file::Header header;
    std::shared_ptr<const jet::TableDef> def;
};

// One table per row layout worth covering.
const std::vector<Table>& tables() {
    static const std::vector<Table> all = [] {
        const std::pair<const char*, const char*> chosen[] = {
            {"jet4/test2V2000.mdb", "MSP_PROJECTS"},       // 74 columns, memos, Yes/No
            {"jet3/test97.mdb", "Table1"},                 // one-byte offsets, code-page text
            {"jet3/test97.mdb", "MSysObjects"},            // Jet 3 long values
            {"ace/calcFieldTestV2010.accdb", "Table1"},    // calculated columns
            {"ace/extDateTestV2019.accdb", "Table1"},      // Date/Time Extended
            {"ace/complexDataTestV2010.accdb", "Table1"},  // complex ids, long memos
            {"jet4/numeric2000.mdb", "test"},              // Decimal
        };
        std::vector<Table> result;
        for (const auto& [file, name] : chosen) {
            const std::string path = fuzzsupport::fixture(file);
            fuzzsupport::readWholeFile(path);  // a clear message when the fixture is missing
            Table t;
            // Database applies the result types of calculated columns; the decoder needs the
            // page file and format, which Database keeps to itself.
            t.def = jet::Database::open(path)->table(name);
            t.pages = std::make_unique<jet::file::PageFile>(path);
            t.header = jet::file::openHeader(*t.pages, "");
            result.push_back(std::move(t));
        }
        return result;
    }();
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::addDefaultFlags(argc, argv, {"-max_len=4096"});
    try {
        tables();
    } catch (const jet::Error& e) {
        std::fprintf(stderr, "fuzz_row: cannot read the fixtures: %s\n", e.what());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Table& t = tables()[data[0] % tables().size()];
    const jet::format::Format& fmt = *t.header.format;
    std::vector<jet::Value> values;
    try {
        jet::store::RowDecoder(*t.pages, fmt, *t.def, t.header.codePage)
            .decode(jet::ByteSpan(data + 1, size - 1), values);
    } catch (const jet::Error& e) {
        fuzzsupport::checkError(e, "");
        return 0;
    }
    if (values.size() != t.def->columns.size()) __builtin_trap();
    std::size_t printed = 0;
    for (const jet::Value& v : values) {
        printed += fuzzsupport::textLength(v);
        const auto* blob = std::get_if<jet::Bytes>(&v);
        if (blob == nullptr) continue;
        try {
            jet::store::parsePropertyMaps(fmt, *blob, t.header.codePage);
        } catch (const jet::Error& e) {
            fuzzsupport::checkError(e, "");
        }
    }
    // Keeps the formatting from being optimised away.
    if (printed == static_cast<std::size_t>(-1)) __builtin_trap();
    return 0;
}
