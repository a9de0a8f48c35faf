#include "support/mdb_reader.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace testsupport {
namespace {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

ReaderTable readWithMdbReader(const std::string& path, const std::string& table,
                              const std::string& password) {
    std::string command = std::string(QUILLFEN_NODE) + " " +
                          quoted(std::string(QUILLFEN_ORACLE_DIR) + "/dump.mjs") + " " +
                          quoted(path) + " --table " + quoted(table);
    if (!password.empty()) command += " --password " + quoted(password);
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
        output.append(buffer, n);
    }
    if (pclose(pipe.release()) != 0) throw std::runtime_error("failed: " + command);
    ReaderTable result;
    std::size_t start = 0;
    while (start < output.size()) {
        const auto end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        if (result.header.empty()) {
            result.header = line;
        } else if (!line.empty()) {
            result.rows.push_back(line);
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return result;
}

}  // namespace testsupport
