// The input is a list of patches to a real database, as the public API sees it: open, the tables
// rowset, every table's definition and every row of it. Patching a real file rather than
// fuzzing whole files keeps inputs small while every structure stays reachable.
//
// Input: the patches of fuzzsupport::patched.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>

#include "fuzz_support.h"
#include "jet/database.h"

namespace {

const std::vector<fuzzsupport::Bytes>& bases() {
    static const std::vector<fuzzsupport::Bytes> all = [] {
        std::vector<fuzzsupport::Bytes> result;
        for (const char* name : {"jet3/test97.mdb", "jet4/numeric2000.mdb",
                                 "ace/extDateTestV2019.accdb", "ace/calcFieldTestV2010.accdb"}) {
            result.push_back(fuzzsupport::readWholeFile(fuzzsupport::fixture(name)));
        }
        return result;
    }();
    return all;
}

// Equal values, where a NaN equals the same NaN (a damaged number may well be one).
bool sameRow(const std::vector<jet::Value>& a, const std::vector<jet::Value>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].index() != b[i].index()) return false;
        if (const auto* x = std::get_if<double>(&a[i])) {
            if (std::bit_cast<std::uint64_t>(*x) !=
                std::bit_cast<std::uint64_t>(std::get<double>(b[i]))) {
                return false;
            }
        } else if (const auto* y = std::get_if<float>(&a[i])) {
            if (std::bit_cast<std::uint32_t>(*y) !=
                std::bit_cast<std::uint32_t>(std::get<float>(b[i]))) {
                return false;
            }
        } else if (const auto* t = std::get_if<jet::DateTime>(&a[i])) {
            if (std::bit_cast<std::uint64_t>(t->days) !=
                std::bit_cast<std::uint64_t>(std::get<jet::DateTime>(b[i]).days)) {
                return false;
            }
        } else if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

void readTable(const jet::Database& db, const std::string& name) {
    const auto def = db.table(name);
    jet::RowCursor cursor = db.scan(def);
    bool first = true;
    std::size_t printed = 0;
    while (cursor.next()) {
        if (cursor.row().size() != def->columns.size()) __builtin_trap();
        for (const auto& v : cursor.row()) printed += fuzzsupport::textLength(v);
        // Reading a row again by its location must give what the scan gave.
        if (first && !sameRow(db.readRow(*def, cursor.location()), cursor.row())) {
            __builtin_trap();
        }
        first = false;
    }
    if (printed == static_cast<std::size_t>(-1)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::addDefaultFlags(argc, argv, {"-max_len=2048"});
    bases();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static fuzzsupport::MemoryFile file;
    file.assign(fuzzsupport::patched(bases(), data, size));
    std::unique_ptr<jet::Database> db;
    try {
        db = jet::Database::open(file.path());
    } catch (const jet::Error& e) {
        fuzzsupport::checkError(e, file.path());
        return 0;
    }
    for (const auto& entry : db->tablesRowset()) {
        if (entry.type != "TABLE" && entry.type != "SYSTEM TABLE" && entry.type != "ACCESS TABLE") {
            continue;
        }
        // One damaged table must not hide the others from the fuzzer.
        try {
            readTable(*db, entry.name);
        } catch (const jet::Error& e) {
            fuzzsupport::checkError(e, file.path());
        }
    }
    return 0;
}
