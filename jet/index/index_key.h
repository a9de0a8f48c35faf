// Index keys: the bytes an index stores for a row's values, built so that comparing them as
// unsigned bytes orders the rows. Each key column is a flag byte (0x7F a value, 0x00 Null;
// inverted for descending columns) and then the value's bytes. Produced here: the types whose
// encoding is plain arithmetic, GUIDs, and Text in the General sort orders (text_key.h); binary,
// decimal, memo and the others are not yet.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/base/value.h"
#include "jet/format/schema.h"
#include "jet/index/text_key.h"

namespace jet::index {

struct KeyColumn {
    KeyColumn() = default;
    KeyColumn(ColumnType t, bool asc, std::optional<TextOrder> order = std::nullopt)
        : type(t), ascending(asc), textOrder(order) {}

    ColumnType type = ColumnType::Long;
    bool ascending = true;
    std::optional<TextOrder> textOrder;  // Text columns: the order their keys follow
};

// Whether appendKeyColumn can encode values of this type whatever the column's other
// properties (Text, which needs its sort order, is not one of them).
bool canEncodeKeyColumn(ColumnType type);

// The key column of an index over `column`; nullopt when this engine cannot build its keys (a
// calculated column, a type it does not encode, text in a sort order it does not know or in
// descending order).
std::optional<KeyColumn> keyColumnFor(const ColumnDef& column, bool ascending);

// The key column of an index over `column` as Access builds it, for comparing stored keys with
// rows: like keyColumnFor, but it also takes descending Text, whose keys this engine does not
// write yet.
std::optional<KeyColumn> storedKeyColumnFor(const ColumnDef& column, bool ascending);

// Appends the encoding of `value` as a key column of type `column.type`. Returns false (and
// leaves `key` as it was) when the column cannot be encoded or the value does not fit it (text
// with a character encodeTextKey does not take, say).
bool appendKeyColumn(std::vector<std::uint8_t>& key, const KeyColumn& column, const Value& value);

}  // namespace jet::index
