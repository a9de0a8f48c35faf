// A new Access 2000 database made by the engine and filled by SQL statements: the small tables
// the window tests work on.
#pragma once

#include <initializer_list>
#include <string>

#include "jet/database.h"
#include "jet/new_database.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"

namespace testsupport {

inline std::string madeDatabase(const TempDir& dir, std::initializer_list<const char*> statements) {
    const std::string path = (dir.path() / "shop.mdb").string();
    jet::createDatabase(path, jet::NewDatabaseFormat::Access2000);
    auto db = jet::Database::open(path);
    for (const char* sql : statements) jet::sql::execute(*db, sql);
    return path;
}

// A new database whose table `create` makes holds 2^`doublings` copies of the record `insert`
// adds: a table of many pages, made in a few statements.
inline std::string manyRecords(const TempDir& dir, const char* create, const char* insert,
                               const std::string& table, int doublings) {
    const std::string path = madeDatabase(dir, {create, insert});
    auto db = jet::Database::open(path);
    for (int i = 0; i < doublings; ++i) {
        jet::sql::execute(*db, "INSERT INTO [" + table + "] SELECT * FROM [" + table + "]");
    }
    return path;
}

}  // namespace testsupport
