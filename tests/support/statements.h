// What the tests that write do again and again: run a statement, read a table or a file's
// bytes, and hold the result to the integrity checker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"

namespace testsupport {

std::vector<std::uint8_t> bytesOf(const std::string& path);
std::vector<std::vector<jet::Value>> rowsOf(const jet::Database& db, const std::string& table);

// Runs one statement; the rows it affected.
std::uint64_t run(jet::Database& db, const std::string& sql);
// The error a statement must fail with (a test failure when it runs).
jet::Error errorOf(jet::Database& db, const std::string& sql);

// A test failure for every fault (not warning) the checker finds in the file.
void expectNoFaults(const std::string& path);

}  // namespace testsupport
