// How quillfen-db writes values: the canonical JSON of the dump and the text of CSV cells.
#pragma once

#include <cstdint>
#include <string>

#include "jet/base/value.h"

namespace cli {

// One value as a JSON token of the dump (`null`, `true`, `12`, `"12.3400"`, ...).
std::string toDumpJson(const jet::Value& v);
// One value as the text of a CSV cell (unquoted; empty for Null).
std::string toCellText(const jet::Value& v);
// A JSON string literal for UTF-8 text; invalid bytes become U+FFFD.
std::string jsonString(const std::string& s);
// A count with a thousands separator: "10,000,000".
std::string grouped(std::uint64_t n);
// A CSV field, quoted when it holds a comma, a quote or a line break (RFC 4180).
std::string csvField(const std::string& s);

}  // namespace cli
