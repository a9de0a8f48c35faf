// One engine instance per database file in the process. Every handler opens its own connection;
// those that name the same file (the same device and inode, however the path is spelt) share one
// jet::Database, so one page cache and one lock. The instance lives while any connection,
// recordset or data source holds it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"

namespace db {

class SharedDatabase final {
public:
    explicit SharedDatabase(std::unique_ptr<jet::Database> database, bool openedForWriting,
                            std::string password);

    jet::Database& database() { return *database_; }
    const jet::Database& database() const { return *database_; }

private:
    friend std::shared_ptr<SharedDatabase> openSharedDatabase(const std::string&,
                                                              const std::string&, bool);
    std::unique_ptr<jet::Database> database_;
    bool openedForWriting_;
    // Passwords known to open the file; another one is tried on the file before it is let in.
    std::vector<std::string> acceptedPasswords_;
};

// The instance for the file at `path`, opened now when no connection of the process holds one.
// A password that has not opened the file yet is checked against it first, so a wrong one fails
// exactly as it would alone. When the instance was opened for reading only and `forWriting` is
// asked, a writable instance takes its place for every later connection; those that hold the
// old one keep it. Throws app::Failure with the engine's number and description.
std::shared_ptr<SharedDatabase> openSharedDatabase(const std::string& path,
                                                   const std::string& password, bool forWriting);

}  // namespace db
