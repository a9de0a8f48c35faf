// Loading a CSV file into an existing table, as one atomic write: the first record names the
// fields each record gives (fields it leaves out get their default or AutoNumber, or Null), and
// each value is converted to its field's type as a text stored by UPDATE would be. The file is
// read as it is loaded, so memory does not grow with it.
#pragma once

#include <cstdint>
#include <string>

#include "jet/database.h"

namespace jet::sql {

// RFC 4180 records: fields separated by commas, quoted with '"' where they hold commas, quotes
// ("" for one) or line breaks; lines end in LF or CRLF; a UTF-8 byte order mark is skipped. An
// empty field is Null, but for a Text field a quoted empty one ("") is the empty text.
// The file is UTF-8 unless `encoding` names another that iconv knows ("WINDOWS-1252", ...);
// bytes that are no character of it are a fault like a bad record.
// Throws Error naming the CSV file and the line of a bad record or value (with the error
// number of the fault: a value that does not fit is Overflow, text that is no number
// TypeMismatch, bytes that are no character SyntaxError, ...), or naming an unknown encoding
// (Unsupported); the database is then as it was. Returns the number of rows added.
std::uint64_t importCsv(Database& db, const std::string& table, const std::string& csvPath,
                        const std::string& encoding = {});

}  // namespace jet::sql
