#include "jet/ddl/table_definition_writer.h"

#include <algorithm>
#include <map>
#include <optional>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/ddl/table_creator.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_definition_pages.h"

namespace jet::ddl {

using namespace store;
namespace {

// Jet 4 and ACE: the header byte after the last AutoNumber (table_definition.h).
constexpr std::size_t kAutoNumbersWork = 24;

// Where a column entry keeps its position among the columns.
std::size_t columnPositionOffset(const format::Format& fmt) { return fmt.jet3 ? 5 : 9; }

// The definition as one string of bytes, over however many pages it lies, and where the parts
// that change begin.
struct Definition {
    std::vector<std::uint8_t> bytes;
    std::uint16_t columnCount = 0;
    std::size_t columnsStart = 0;  // the column entries
    std::size_t namesStart = 0;    // the column names, in entry order
    std::vector<std::size_t> nameAt;
    std::size_t namesEnd = 0;
    std::size_t longValueMaps = 0;  // the long-value fields' map entries, then 0xFFFF
};

Definition load(const file::PageFile& file, const format::Format& fmt, const TableDef& table) {
    Definition d;
    d.bytes = readDefinition(file, fmt, table.definitionPage);
    const ByteSpan b(d.bytes);
    const DefinitionLayout layout = layoutOf(fmt, b);
    d.columnCount = layout.columnCount;
    d.columnsStart = layout.columns;
    d.namesStart = layout.columnNames;
    std::size_t pos = d.namesStart;
    for (std::uint16_t i = 0; i < d.columnCount; ++i) {
        d.nameAt.push_back(pos);
        pos += definitionNameSize(fmt, b, pos);
    }
    d.namesEnd = layout.realEntries;
    d.longValueMaps = layout.trailer;
    // A definition that does not end where its structures do holds something an edit could
    // lose or misplace.
    if (layout.end != d.bytes.size()) {
        throw Error(ErrorCode::Unsupported,
                    "The definition of table '" + table.name +
                        "' holds more than this engine knows how to move; its fields cannot be "
                        "changed, and it was left as it was.");
    }
    return d;
}

// Replaces bytes [from, to) of the definition with `with` and writes it over its pages, which
// gain or lose pages as its length needs.
void splice(file::PageFile& file, const format::Format& fmt, const TableDef& table, Definition& d,
            std::size_t from, std::size_t to, const std::vector<std::uint8_t>& with) {
    d.bytes.erase(d.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                  d.bytes.begin() + static_cast<std::ptrdiff_t>(to));
    d.bytes.insert(d.bytes.begin() + static_cast<std::ptrdiff_t>(from), with.begin(), with.end());
    writeDefinition(file, fmt, table.definitionPage, d.bytes);
}

// Where the entry of long-value column `number` lies among the maps after the index names,
// if it has one.
std::optional<std::size_t> longValueMapsEntry(ByteSpan b, std::size_t trailer,
                                              std::uint16_t number) {
    for (std::size_t pos = trailer; pos + 2 <= b.size() && u16(b, pos) != 0xFFFF; pos += 10) {
        if (u16(b, pos) == number) return pos;
    }
    return std::nullopt;
}

}  // namespace

void addColumn(file::PageFile& file, const format::Format& fmt, const TableDef& table,
               const NewColumn& column, std::uint16_t codePage) {
    Definition d = load(file, fmt, table);
    if (d.columnCount == 0) corrupt("the table has no column to model the new one on");
    const ByteSpan b(d.bytes);
    // Access gives every column of a table the same bytes where the others are unknown; the
    // first column's serve as the model.
    const ByteSpan model = b.subspan(d.columnsStart, fmt.columnEntrySize);
    std::vector<std::uint8_t> entry(model.begin(), model.end());
    std::uint16_t position = 0;
    std::uint16_t fixedEnd = 0;
    for (const auto& c : table.columns) {
        if (c.fixedLength && c.type != ColumnType::YesNo) {
            fixedEnd = std::max<std::uint16_t>(fixedEnd, c.fixedOffset + c.size);
        }
    }
    for (std::uint16_t i = 0; i < d.columnCount; ++i) {
        const std::size_t at = d.columnsStart + std::size_t{i} * fmt.columnEntrySize;
        position = std::max<std::uint16_t>(position, u16(b, at + columnPositionOffset(fmt)) + 1);
    }
    const bool variable = isVariableType(column.type);
    entry[fmt.colType] = static_cast<std::uint8_t>(column.type);
    put16(entry, fmt.colNumber, table.maxColumns);
    put16(entry, fmt.colVarIndex, variable ? table.varColumnCount : 0);
    put16(entry, columnPositionOffset(fmt), position);
    if (fmt.jet3) {
        // The model's sort order and code page stand for the table's; Jet 3 has no Decimal
        // fields and no extra flags.
        if (column.type == ColumnType::Decimal) {
            throw Error(ErrorCode::Unsupported,
                        "Access 97 databases have no Decimal fields; table '" + table.name +
                            "' was left as it was.");
        }
    } else if (column.type == ColumnType::Decimal) {
        entry[fmt.colPrecision] = column.precision;
        entry[fmt.colScale] = column.scale;
    } else if ((column.type == ColumnType::Text || column.type == ColumnType::Memo) &&
               column.collation != Collation{}) {
        std::copy(column.collation.begin(), column.collation.end(),
                  entry.begin() + static_cast<std::ptrdiff_t>(fmt.colPrecision));
    }
    if (column.autoNumber && column.type != ColumnType::Long) {
        corrupt("only a Long field numbers rows itself");
    }
    entry[fmt.colFlags] =
        static_cast<std::uint8_t>((variable ? 0 : kColumnFixed) | kColumnNullable |
                                  (column.autoNumber ? kColumnAutoLong : 0));
    if (!fmt.jet3) {
        entry[fmt.colExtraFlags] = 0;
        std::fill(entry.begin() + static_cast<std::ptrdiff_t>(fmt.colExtraFlags) + 1,
                  entry.begin() + static_cast<std::ptrdiff_t>(fmt.colFixedOffset), 0);
    }
    put16(entry, fmt.colFixedOffset, variable || column.type == ColumnType::YesNo ? 0 : fixedEnd);
    put16(entry, fmt.colLength, column.size);

    // The entry goes after the last column's, the name after the last name: the names move
    // along by the entry's length.
    const std::vector<std::uint8_t> name = definitionName(fmt, column.name, codePage);
    std::vector<std::uint8_t> block(b.begin() + static_cast<std::ptrdiff_t>(d.namesStart),
                                    b.begin() + static_cast<std::ptrdiff_t>(d.namesEnd));
    std::vector<std::uint8_t> with = entry;
    with.insert(with.end(), block.begin(), block.end());
    with.insert(with.end(), name.begin(), name.end());
    if (isLongValueType(column.type)) {
        // A Memo or OLE Object field keeps two usage maps of its own, its pages and those of
        // them with room, listed after the index names; the long-value writer takes its pages
        // through them.
        const RowPointer pages = placeMapRow(file, fmt, table, emptyMapRow());
        const RowPointer room = placeMapRow(file, fmt, table, emptyMapRow());
        std::vector<std::uint8_t> maps(10, 0);
        put16(maps, 0, table.maxColumns);
        put32(maps, 2, pages.raw());
        put32(maps, 6, room.raw());
        // Before the 0xFFFF that closes the definition, which is its last two bytes.
        d.bytes.insert(d.bytes.end() - 2, maps.begin(), maps.end());
    }
    // The byte Access sets on every table it makes in Jet 4 and later, without which its own
    // AutoNumbers do not count on; a table some other program made may lack it.
    if (column.autoNumber && !fmt.jet3) d.bytes[kAutoNumbersWork] = 1;
    put16(d.bytes, fmt.tdefColumns, d.columnCount + 1);
    put16(d.bytes, fmt.tdefMaxColumns, table.maxColumns + 1);
    if (variable) put16(d.bytes, fmt.tdefVarColumns, table.varColumnCount + 1);
    splice(file, fmt, table, d, d.namesStart, d.namesEnd, with);
}

void dropColumn(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                const ColumnDef& column) {
    Definition d = load(file, fmt, table);
    // A Memo or OLE Object field's maps leave the definition with it. Its pages stay as they
    // are, as the rows' bytes of the field do, until the database is compacted: a page of the
    // maps may hold another field's values too.
    if (const auto maps = longValueMapsEntry(d.bytes, d.longValueMaps, column.number)) {
        d.bytes.erase(d.bytes.begin() + static_cast<std::ptrdiff_t>(*maps),
                      d.bytes.begin() + static_cast<std::ptrdiff_t>(*maps + 10));
    }
    const ByteSpan b(d.bytes);
    std::optional<std::uint16_t> found;
    for (std::uint16_t i = 0; i < d.columnCount; ++i) {
        const std::size_t at = d.columnsStart + std::size_t{i} * fmt.columnEntrySize;
        if (u16(b, at + fmt.colNumber) == column.number) found = i;
    }
    if (!found) corrupt("the column to drop is not in the table's definition");
    // Everything from the entry to the end of the names, without the entry and its name.
    const std::size_t entryAt = d.columnsStart + std::size_t{*found} * fmt.columnEntrySize;
    const std::size_t nameAt = d.nameAt[*found];
    const std::size_t nameEnd = *found + 1 < d.columnCount ? d.nameAt[*found + 1] : d.namesEnd;
    std::vector<std::uint8_t> with(
        b.begin() + static_cast<std::ptrdiff_t>(entryAt + fmt.columnEntrySize),
        b.begin() + static_cast<std::ptrdiff_t>(nameAt));
    with.insert(with.end(), b.begin() + static_cast<std::ptrdiff_t>(nameEnd),
                b.begin() + static_cast<std::ptrdiff_t>(d.namesEnd));
    put16(d.bytes, fmt.tdefColumns, d.columnCount - 1);
    splice(file, fmt, table, d, entryAt, d.namesEnd, with);
}

namespace {

// Each value's rank among `values` (distinct ones only).
std::map<std::uint16_t, std::uint16_t> ranks(std::vector<std::uint16_t> values, const char* what) {
    std::sort(values.begin(), values.end());
    if (std::adjacent_find(values.begin(), values.end()) != values.end()) {
        corrupt(std::string("two columns share a ") + what);
    }
    std::map<std::uint16_t, std::uint16_t> rank;
    for (std::size_t i = 0; i < values.size(); ++i) {
        rank[values[i]] = static_cast<std::uint16_t>(i);
    }
    return rank;
}

}  // namespace

void renumberColumns(file::PageFile& file, const format::Format& fmt, const TableDef& table) {
    Definition d = load(file, fmt, table);
    std::vector<std::uint8_t>& b = d.bytes;
    const auto entryAt = [&](std::uint16_t i) {
        return d.columnsStart + std::size_t{i} * fmt.columnEntrySize;
    };
    std::vector<std::uint16_t> numbers, positions, slots;
    // The fixed fields that take bytes in the row (a Yes/No field lives in the null mask), by
    // where they lay.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> fixed;
    for (std::uint16_t i = 0; i < d.columnCount; ++i) {
        const std::size_t at = entryAt(i);
        numbers.push_back(u16(b, at + fmt.colNumber));
        positions.push_back(u16(b, at + columnPositionOffset(fmt)));
        const bool isFixed = (b[at + fmt.colFlags] & kColumnFixed) != 0;
        if (!isFixed) slots.push_back(u16(b, at + fmt.colVarIndex));
        if (isFixed && b[at + fmt.colType] != static_cast<std::uint8_t>(ColumnType::YesNo)) {
            fixed.emplace_back(u16(b, at + fmt.colFixedOffset), i);
        }
    }
    const auto number = ranks(numbers, "number");
    const auto position = ranks(positions, "position");
    const auto slot = ranks(slots, "variable slot");
    std::sort(fixed.begin(), fixed.end());
    std::uint32_t offset = 0;
    for (const auto& [old, i] : fixed) {
        put16(b, entryAt(i) + fmt.colFixedOffset, static_cast<std::uint16_t>(offset));
        offset += u16(b, entryAt(i) + fmt.colLength);
    }
    if (offset > 0xFFFF) corrupt("the fixed fields take more bytes than a row holds");
    for (std::uint16_t i = 0; i < d.columnCount; ++i) {
        const std::size_t at = entryAt(i);
        put16(b, at + fmt.colNumber, number.at(numbers[i]));
        put16(b, at + columnPositionOffset(fmt), position.at(positions[i]));
        if ((b[at + fmt.colFlags] & kColumnFixed) == 0) {
            put16(b, at + fmt.colVarIndex, slot.at(u16(b, at + fmt.colVarIndex)));
        }
    }
    const auto renumbered = [&](std::uint16_t old) {
        const auto found = number.find(old);
        if (found == number.end()) corrupt("an index or a map names a column the table lacks");
        return found->second;
    };
    const DefinitionLayout layout = layoutOf(fmt, b);
    for (std::uint32_t r = 0; r < layout.realCount; ++r) {
        std::size_t p =
            layout.realEntries + std::size_t{r} * fmt.realIndexDefSize + (fmt.jet3 ? 0 : 4);
        for (int k = 0; k < 10; ++k, p += 3) {
            if (u16(b, p) != 0xFFFF) put16(b, p, renumbered(u16(b, p)));
        }
    }
    for (std::size_t p = d.longValueMaps; p + 2 <= b.size() && u16(b, p) != 0xFFFF; p += 10) {
        put16(b, p, renumbered(u16(b, p)));
    }
    put16(b, fmt.tdefMaxColumns, d.columnCount);
    put16(b, fmt.tdefVarColumns, static_cast<std::uint16_t>(slots.size()));
    writeDefinition(file, fmt, table.definitionPage, b);
}

}  // namespace jet::ddl
