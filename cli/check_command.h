// quillfen-db check: runs the integrity checker and prints one line per fault or warning.
#pragma once

#include <ostream>
#include <string>

namespace cli {

// Prints each fault and warning on its own line, then "No faults found." or the number of
// faults. Returns the exit status: 0 when there are no faults (warnings alone do not count), 1
// when there are. Throws jet::Error when the file cannot be opened.
int runCheck(std::ostream& out, const std::string& file, const std::string& password);

}  // namespace cli
