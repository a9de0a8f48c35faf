// Compacting a database in place, as Access's Compact and Repair does for what this engine owns:
// every user table it can rewrite with certainty gets its rows written afresh, densely, its
// columns numbered afresh (so that dropped columns no longer count toward Access's 255), its
// indexes rebuilt from the rows, its usage maps and row count made right; then the free pages
// at the end of the file are cut off. Queries, relationships, properties, forms, reports and
// modules are left as they are, and so are the system tables. The pages that dropped tables left
// behind are given back.
//
// It is one write: an interruption at any point leaves the database as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/database.h"

namespace jet {

struct CompactReport {
    struct Table {
        std::string name;
        std::uint64_t rows = 0;
        std::uint32_t pagesBefore = 0;  // data, long-value and index pages
        std::uint32_t pagesAfter = 0;
        bool renumbered = false;  // its columns were numbered afresh
    };
    std::vector<Table> tables;
    // The tables left as they were, each with why ("Table 'X' ...").
    std::vector<std::string> leftAlone;
    std::uint64_t bytesBefore = 0;
    std::uint64_t bytesAfter = 0;
    std::uint32_t pagesLeftBehind = 0;  // by tables gone from the catalog, given back
    std::uint32_t pagesCut = 0;         // free pages cut off the end of the file
};

struct CompactProgress {
    std::string table;
    std::uint64_t rowsDone = 0;  // rows of `table` read and written: twice its row count in all
    std::uint64_t rowsTotal = 0;
};

// Throws what Database::write throws (Locked, ReadOnly, ...), and Error(TooLarge) when the
// rows cannot be written back within the size Access can open (a table whose rows need more
// room once renumbered); the database is then left as it was.
CompactReport compact(Database& db, const std::function<void(const CompactProgress&)>& progress);

}  // namespace jet
