// Property maps: the LvProp blob of a catalog entry, holding the properties of an object and of
// its columns (a calculated column's result type among them).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/format/format.h"

namespace jet::store {

struct Property {
    std::uint8_t type = 0;  // a column type code
    std::vector<std::uint8_t> data;
};

// Map name ("" for the object itself, else a column name, folded to lower case) to property
// name (as stored) to value.
using PropertyMaps = std::map<std::string, std::map<std::string, Property>>;

// Parses a property blob; an empty blob gives no maps. Throws Error(Corrupt) on a malformed one.
PropertyMaps parsePropertyMaps(const format::Format& fmt, ByteSpan blob, std::uint16_t codePage);

// The blob without the map named `name` (a column's properties, when its column goes); every
// other byte stays. The list of property names is kept whole.
std::vector<std::uint8_t> withoutPropertyMap(const format::Format& fmt, ByteSpan blob,
                                             std::uint16_t codePage, const std::string& name);

// A property as a definition statement sets it: Required = Yes for NOT NULL, DefaultValue (the
// expression's text) for DEFAULT. Both are properties the engine itself keeps (the DDL flag).
struct NewProperty {
    std::string name;
    std::uint8_t type = 0;           // a column type code
    std::vector<std::uint8_t> data;  // a Memo-typed property's text as UTF-8, stored per format
};
NewProperty requiredProperty();
NewProperty defaultValueProperty(const std::string& expression);

// The blob with the map of column `column` holding `properties`, in place of
// any map it had; an empty blob becomes a new one. Property names missing from the blob's list
// go at its end, so the names the other maps refer to keep their numbers; every other block
// stays as it was. Names and text go in UTF-16, in Jet 3 in the database's code page (a
// character it cannot hold is refused).
std::vector<std::uint8_t> withColumnProperties(const format::Format& fmt, ByteSpan blob,
                                               std::uint16_t codePage, const std::string& column,
                                               const std::vector<NewProperty>& properties);

// The same for the map of the table itself (its own ValidationRule, ...): the unnamed map.
std::vector<std::uint8_t> withTableProperties(const format::Format& fmt, ByteSpan blob,
                                              std::uint16_t codePage,
                                              const std::vector<NewProperty>& properties);

}  // namespace jet::store
