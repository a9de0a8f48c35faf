// The integrity checker: verifies the structures a write can break (page ownership, usage maps,
// free-space figures, slot directories, forwarded rows, long-value chains, row counts, index
// entries) and reports every fault it finds instead of stopping at the first. Files Access
// wrote pass with no faults; anything else is damage.
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"

namespace jet::check {

enum class FaultKind {
    Unreadable,      // a structure could not be read at all
    FileSize,        // the file is larger than Access opens
    PageOwnership,   // a page claimed twice, or of the wrong type or owner for its claimant
    GlobalUsageMap,  // page 1's map of free pages marks a page in use
    UsageMap,        // a table's, index's or long-value column's map disagrees with the pages
    FreeSpace,       // a data page's free-space figure disagrees with its rows
    RowLayout,       // slot offsets outside the page, overlapping, or not descending
    Forwarding,      // a forwarded row whose pointer or moved body is wrong
    LongValue,       // a long-value reference or chain that is wrong
    RowCount,        // the definition's row count disagrees with the live rows
    ColumnCount,     // column counts of the definition or of a row disagree
    IndexStructure,  // index pages that do not form a well-linked tree
    IndexOrder,      // index entries out of order
    IndexEntries,    // index entries that do not match the table's rows one for one
    IndexKey,        // an entry's key that does not match its row's values
};

const char* faultKindName(FaultKind kind);

// A fault is damage. A warning is a departure from the ideal that Access itself leaves in
// files it wrote (a row count it has not yet brought up to date, pages it no longer uses but
// has not freed): harmless to readers and writers, and cleared when Access compacts the file.
enum class Severity { Fault, Warning };

struct Fault {
    FaultKind kind = FaultKind::Unreadable;
    std::string description;  // names the page, the table and the row where they are known
    Severity severity = Severity::Fault;
};

// Checks the whole file. Throws Error only when the file cannot be opened at all (not found,
// not an Access file, wrong password, unsupported encryption); damage inside comes back as
// faults and warnings, in the order the checker met them.
std::vector<Fault> checkDatabase(const std::string& path, const OpenOptions& options = {});

}  // namespace jet::check
