// quillfen-db compact: compacts the database in place (jet/compact.h), repairing on the way what
// can be rebuilt from the rows, and says what it did.
#pragma once

#include <ostream>
#include <string>

namespace cli {

// Checks the file, compacts it, checks it again and prints the tables rewritten, those left as
// they were and why, the pages freed, the size before and after, and the faults repaired and
// those that remain. `progress` gets a line kept up to date ("\r...") when it is a terminal,
// nothing otherwise. Returns 0 when the file has no faults afterwards, 1 when some remain.
// Throws jet::Error when the file cannot be opened or compacted (it is then as it was).
int runCompact(std::ostream& out, std::ostream& progress, bool progressIsTerminal,
               const std::string& file, const std::string& password);

}  // namespace cli
