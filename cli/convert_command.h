// quillfen-db convert: every user table of an Access database (or the ones named) into a new
// SQLite database, or into a script that makes them in PostgreSQL (cli/convert_plan.h says
// what becomes of what).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

struct ConvertRequest {
    std::string file;
    std::string password;
    std::string target;  // "sqlite" or "postgres"
    std::string output;  // the new file; "-" writes a PostgreSQL script to `script`
    std::vector<std::string> tables;
};

// Writes the report (what was converted, what was renamed, stored another way or left out) to
// `report`, the PostgreSQL script to `script` when the output is "-", and a progress line to
// `progress` when it is a terminal. Throws jet::Error; the output file then does not exist.
void runConvert(const ConvertRequest& request, std::ostream& report, std::ostream& script,
                std::ostream& progress, bool progressIsTerminal);

}  // namespace cli
