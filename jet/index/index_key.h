// Index keys: the bytes an index stores for a row's values, built so that comparing them as
// unsigned bytes orders the rows. Each key column is a flag byte (0x7F a value, 0x00 Null;
// inverted for descending columns) and then the value's bytes. Only the types whose encoding is
// plain arithmetic are produced here; text (whose bytes follow Access's sort order tables),
// binary, decimal and the others are not yet.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/value.h"

namespace jet::index {

struct KeyColumn {
    ColumnType type = ColumnType::Long;
    bool ascending = true;
};

// Whether appendKeyColumn can encode values of this type.
bool canEncodeKeyColumn(ColumnType type);

// Appends the encoding of `value` as a key column of type `column.type`. Returns false (and
// leaves `key` as it was) when the type is not one canEncodeKeyColumn accepts or the value does
// not fit it.
bool appendKeyColumn(std::vector<std::uint8_t>& key, const KeyColumn& column, const Value& value);

}  // namespace jet::index
