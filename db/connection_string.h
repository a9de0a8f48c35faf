// Reading an OLE DB connection string: "key=value;key=value", keys compared without regard to
// case and with the blanks around them ignored, values taken as written or between single or
// double quotes (a quote doubled inside stands for itself).
#pragma once

#include <string>
#include <string_view>

namespace db {

struct ConnectionSettings {
    std::string provider;
    std::string dataSource;
    std::string password;
};

// Throws app::Failure(kBadConnectionString) saying why the text cannot be read. The description
// never repeats the database password or anything that may be part of it.
ConnectionSettings parseConnectionString(std::string_view text);

// The two providers the engine stands in for: "Microsoft.Jet.OLEDB.4.0" and
// "Microsoft.ACE.OLEDB.12.0", without regard to case.
bool isEngineProvider(std::string_view provider);

}  // namespace db
