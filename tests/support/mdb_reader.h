// mdb-reader's reading of one table, through tests/oracle/dump.mjs: the rows as the canonical
// dump prints them (one JSON array per row, in physical order) and the header line.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ReaderTable {
    std::string header;             // {"table":"T","columns":[...]}
    std::vector<std::string> rows;  // ["1",10,...]
};

// Throws std::runtime_error when node or the script fails.
ReaderTable readWithMdbReader(const std::string& path, const std::string& table,
                              const std::string& password = "");

}  // namespace testsupport
