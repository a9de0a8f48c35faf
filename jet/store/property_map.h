// Property maps: the LvProp blob of a catalog entry, holding the properties of an object and of
// its columns (a calculated column's result type among them).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jet/format/format.h"
#include "jet/store/bytes.h"

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

// A new table's property blob (Jet 4 and ACE) holding one property, Required = Yes, for each
// field named in `columns`: what NOT NULL on a field makes.
std::vector<std::uint8_t> requiredFieldsBlob(const std::vector<std::string>& columns);

}  // namespace jet::store
