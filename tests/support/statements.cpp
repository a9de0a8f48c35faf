#include "support/statements.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "jet/check/check.h"
#include "jet/sql/execute.h"

namespace testsupport {

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void expectRefused(jet::Database& db, const std::string& path, const std::string& sql,
                   jet::ErrorCode code, const std::string& description) {
    SCOPED_TRACE(sql);
    const auto before = bytesOf(path);
    const jet::Error e = errorOf(db, sql);
    EXPECT_EQ(e.code(), code);
    EXPECT_EQ(e.what(), description);
    EXPECT_EQ(bytesOf(path), before);
}

std::string commandOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char buffer[4096];
    for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
        out.append(buffer, n);
    }
    EXPECT_EQ(pclose(pipe.release()), 0) << command;
    return out;
}

std::vector<std::vector<jet::Value>> rowsOf(const jet::Database& db, const std::string& table) {
    std::vector<std::vector<jet::Value>> rows;
    auto cursor = db.scan(db.table(table));
    while (cursor.next()) rows.push_back(cursor.row());
    return rows;
}

std::uint64_t run(jet::Database& db, const std::string& sql) {
    return jet::sql::execute(db, sql).rowsAffected.value_or(0);
}

jet::Error errorOf(jet::Database& db, const std::string& sql) {
    try {
        jet::sql::execute(db, sql);
    } catch (const jet::Error& e) {
        return e;
    }
    ADD_FAILURE() << "ran: " << sql;
    return jet::Error(jet::ErrorCode::Io, "");
}

void expectNoFaults(const std::string& path, const std::string& password) {
    for (const auto& f : jet::check::checkDatabase(path, {.password = password})) {
        if (f.severity == jet::check::Severity::Fault) ADD_FAILURE() << f.description;
    }
}

}  // namespace testsupport
