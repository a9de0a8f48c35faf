// The subcommands of quillfen-db. Each writes its result to `out` and throws jet::Error on
// failure; main() turns that into one line on stderr and exit status 1.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

void listTables(std::ostream& out, const std::string& file, const std::string& password, bool all);
void printSchema(std::ostream& out, const std::string& file, const std::string& password,
                 const std::optional<std::string>& table);
void dump(std::ostream& out, const std::string& file, const std::string& password,
          const std::optional<std::string>& table);
void exportCsv(std::ostream& out, const std::string& file, const std::string& password,
               const std::string& table);
// Runs each statement as its own atomic write. The first `fromScript` statements come from the
// file `script`; a failure names the statement that failed and what the run committed before.
void runSql(std::ostream& out, const std::string& file, const std::string& password,
            const std::vector<std::string>& statements, const std::string& script = {},
            std::size_t fromScript = 0);
// `encoding`: empty for UTF-8, else an encoding iconv knows.
void importCsv(std::ostream& out, const std::string& file, const std::string& password,
               const std::string& table, const std::string& csv, const std::string& encoding);

// The statements of a SQL script file: each ends with a ';' outside quotes, brackets and #
// dates; a line whose first characters are -- is a comment. Throws jet::Error naming the file
// when it cannot be read or ends inside a quote.
std::vector<std::string> scriptStatements(const std::string& path);

// `format` is "2000", "2007", "2010", "2016", or empty for the one the extension suggests.
void createDatabase(const std::string& file, const std::string& format);

}  // namespace cli
