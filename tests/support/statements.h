// What the tests that write do again and again: run a statement, read a table or a file's
// bytes, and hold the result to the integrity checker.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/database.h"

namespace testsupport {

std::vector<std::uint8_t> bytesOf(const std::string& path);
// Replaces the file's contents with `bytes`.
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::vector<jet::Value>> rowsOf(const jet::Database& db, const std::string& table);

// Runs one statement; the rows it affected.
std::uint64_t run(jet::Database& db, const std::string& sql);
// The error a statement must fail with (a test failure when it runs).
jet::Error errorOf(jet::Database& db, const std::string& sql);
// The error `f` must throw (a test failure when it returns).
template <typename F>
jet::Error errorOf(F&& f) {
    try {
        f();
    } catch (const jet::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no jet::Error was thrown";
    return jet::Error(jet::ErrorCode::Io, "");
}

// The statement must fail with `code` and exactly `description`, and leave the file at `path`
// byte for byte as it was.
void expectRefused(jet::Database& db, const std::string& path, const std::string& sql,
                   jet::ErrorCode code, const std::string& description);

// A shell command's standard output (mdbtools' programs); a test failure when it fails.
std::string commandOutput(const std::string& command);

// A test failure for every fault (not warning) the checker finds in the file.
void expectNoFaults(const std::string& path, const std::string& password = "");

}  // namespace testsupport
