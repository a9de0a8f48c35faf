// Making a new, empty Access database.
#pragma once

#include <optional>
#include <string>

namespace jet {

// The formats a new database can take, named by the Access version that introduced them.
enum class NewDatabaseFormat { Access2000, Access2007, Access2010, Access2016 };

// "2000", "2007", "2010", "2016": the names the command line takes; nullopt for others.
std::optional<NewDatabaseFormat> newDatabaseFormatNamed(const std::string& name);

// The format a file name suggests: Access 2000 for .mdb, Access 2007 (the first .accdb format,
// which every later Access opens) for .accdb; nullopt for other extensions.
std::optional<NewDatabaseFormat> newDatabaseFormatFor(const std::string& path);

// Writes a new, empty database at `path`, with the system tables Access itself writes into a
// new file. Never replaces a file: throws Error(FileExists) when `path` exists, and
// Error(Unsupported) when the format does not suit the extension (Access 2000 for .mdb, the
// later formats for .accdb). On failure no file is left behind.
void createDatabase(const std::string& path, NewDatabaseFormat format);

}  // namespace jet
