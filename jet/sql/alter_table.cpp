#include "jet/sql/alter_table.h"

#include <algorithm>
#include <array>
#include <limits>

#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/base/utf8.h"
#include "jet/sql/calculated_columns.h"
#include "jet/sql/relationships.h"
#include "jet/sql/write_checks.h"
#include "jet/store/property_map.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"

namespace jet::sql {
namespace {

// The longest name Access takes for a table, a field or an index, in characters.
constexpr std::size_t kMaxNameLength = 64;

struct TypeName {
    const char* name;
    ColumnType type;
    std::uint16_t size;  // bytes; for Text the default length in characters
};

// Access's DDL names and the types they make.
constexpr std::array kTypes{
    TypeName{"BYTE", ColumnType::Byte, 1},        TypeName{"TINYINT", ColumnType::Byte, 1},
    TypeName{"SHORT", ColumnType::Integer, 2},    TypeName{"SMALLINT", ColumnType::Integer, 2},
    TypeName{"LONG", ColumnType::Long, 4},        TypeName{"INT", ColumnType::Long, 4},
    TypeName{"INTEGER", ColumnType::Long, 4},     TypeName{"SINGLE", ColumnType::Single, 4},
    TypeName{"REAL", ColumnType::Single, 4},      TypeName{"DOUBLE", ColumnType::Double, 8},
    TypeName{"FLOAT", ColumnType::Double, 8},     TypeName{"CURRENCY", ColumnType::Currency, 8},
    TypeName{"MONEY", ColumnType::Currency, 8},   TypeName{"DATETIME", ColumnType::DateTime, 8},
    TypeName{"DATE", ColumnType::DateTime, 8},    TypeName{"TEXT", ColumnType::Text, 255},
    TypeName{"VARCHAR", ColumnType::Text, 255},   TypeName{"CHAR", ColumnType::Text, 255},
    TypeName{"MEMO", ColumnType::Memo, 0},        TypeName{"LONGTEXT", ColumnType::Memo, 0},
    TypeName{"BIT", ColumnType::YesNo, 1},        TypeName{"YESNO", ColumnType::YesNo, 1},
    TypeName{"LOGICAL", ColumnType::YesNo, 1},    TypeName{"DECIMAL", ColumnType::Decimal, 17},
    TypeName{"NUMERIC", ColumnType::Decimal, 17}, TypeName{"GUID", ColumnType::GUID, 16},
    TypeName{"BINARY", ColumnType::Binary, 255},  TypeName{"LONGBINARY", ColumnType::OLE, 0},
    TypeName{"OLEOBJECT", ColumnType::OLE, 0},    TypeName{"BIGINT", ColumnType::BigInt, 8},
    TypeName{"COUNTER", ColumnType::Long, 4},     TypeName{"AUTOINCREMENT", ColumnType::Long, 4},
};

[[noreturn]] void badType(const ast::DataType& type, const std::string& why) {
    throw Error(ErrorCode::SyntaxError,
                "Syntax error in field definition: " + why + " (type " + type.name.text + ").");
}

const ColumnDef& existingColumn(const TableDef& table, const std::string& name) {
    const ColumnDef* c = table.findColumn(name);
    if (c == nullptr) {
        throw Error(ErrorCode::FieldNotFound,
                    "No field named '" + name + "' in table '" + table.name + "'.");
    }
    return *c;
}

[[noreturn]] void refuseDrop(const TableDef& table, const ColumnDef& column,
                             const std::string& why) {
    throw Error(ErrorCode::NotUpdatable, "Cannot delete field '" + column.name + "' of table '" +
                                             table.name + "': " + why + ".");
}

const CatalogEntry& catalogEntryOf(const Database& db, const TableDef& table) {
    for (const auto& e : db.catalog()) {
        if (e.type == 1 && namesEqual(e.name, table.name)) return e;
    }
    throw Error(ErrorCode::Corrupt,
                "The catalog of '" + db.path() + "' has no entry for table '" + table.name + "'.")
        .about(db.path(), table.name);
}

// Puts `blob` in place of the table's properties in its catalog row.
void storeProperties(Database& db, const TableDef& table, const Bytes& blob,
                     store::WriteContext& ctx) {
    const auto catalog = db.table("MSysObjects");
    const ColumnDef* id = catalog->findColumn("Id");
    const ColumnDef* column = catalog->findColumn("LvProp");
    const CatalogEntry* entry = &catalogEntryOf(db, table);
    if (id != nullptr && column != nullptr) {
        store::TableWriter writer(ctx.file, ctx.format, *catalog, ctx.codePage);
        std::vector<bool> changed(catalog->columns.size(), false);
        changed[column->order] = true;
        auto cursor = ctx.scan(*catalog);
        while (cursor.next()) {
            if (cursor.row()[id->order] != Value(entry->id)) continue;
            std::vector<Value> values = cursor.row();
            values[column->order] = blob;
            writer.updateRow(cursor.location(), values, changed);
            ctx.catalogChanged = true;
            return;
        }
    }
    throw Error(ErrorCode::Corrupt, "The catalog of '" + db.path() +
                                        "' does not hold the properties of table '" + table.name +
                                        "' where they were read.")
        .about(db.path(), table.name);
}

// Access keeps one counter a table, so one AutoNumber field; a default value would only be
// overruled by it.
void requireNoAutoNumber(const TableDef& table, const ast::AddColumn& add) {
    for (const auto& c : table.columns) {
        if (c.autoNumber && c.type == ColumnType::Long) {
            throw Error(ErrorCode::Unsupported, "Cannot add the AutoNumber field '" +
                                                    add.column.text + "' to table '" + table.name +
                                                    "': it has one already ('" + c.name +
                                                    "'), and a table can have only one.");
        }
    }
    if (!add.defaultValue.empty()) {
        throw Error(ErrorCode::SyntaxError, "The AutoNumber field '" + add.column.text +
                                                "' of table '" + table.name +
                                                "' cannot take a default value.");
    }
}

// Gives the AutoNumber field just added to `table` (its definition as it was before) the numbers
// 1, 2, 3 ... in the order a scan meets the rows, and sets the table's counter after the last,
// so that the next new row continues from there. Rows too full to take the field move, as an
// UPDATE moves them; index entries keep finding them through their old slots.
void numberRows(store::WriteContext& ctx, const TableDef& table, const std::string& name) {
    const TableDef withNew = store::readTableDefinition(ctx.file, ctx.format, table.definitionPage,
                                                        table.name, ctx.codePage);
    const ColumnDef* added = withNew.findColumn(name);
    if (added == nullptr || !added->autoNumber) {
        throw Error(ErrorCode::Corrupt, "Field '" + name + "' of table '" + table.name +
                                            "' is not where it was written.");
    }
    store::TableWriter writer(ctx.file, ctx.format, withNew, ctx.codePage);
    std::vector<bool> changed(withNew.columns.size(), false);
    changed[added->order] = true;
    std::vector<bool> reads(withNew.columns.size(), false);
    // A rewritten row takes its Yes/No values from the row read: they have no bytes to keep.
    for (const auto& c : withNew.columns) reads[c.order] = c.type == ColumnType::YesNo;
    std::uint32_t last = 0;
    auto cursor = ctx.scan(withNew);
    cursor.decodeOnly(reads);
    std::vector<Value> values;
    while (cursor.next()) {
        if (last == static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
            throw Error(ErrorCode::Unsupported, "Table '" + table.name +
                                                    "' has more records than an AutoNumber "
                                                    "field can number.");
        }
        values = cursor.row();
        values[added->order] = static_cast<std::int32_t>(++last);
        try {
            writer.updateRow(cursor.location(), values, changed);
        } catch (const Error& e) {
            // A record already as long as a page allows has no room for the number.
            if (e.code() != ErrorCode::ValueTooLong) throw;
            throw Error(e.code(), "Cannot add the AutoNumber field '" + name + "' to table '" +
                                      table.name + "': record " + std::to_string(last) +
                                      " has no room for it. " + e.what());
        }
    }
    writer.setLastAutoNumber(last);
}

void addColumn(Database& db, const TableDef& table, const ast::AddColumn& add) {
    if (table.findColumn(add.column.text) != nullptr) {
        throw Error(
            ErrorCode::DuplicateField,
            "Field '" + add.column.text + "' already exists in table '" + table.name + "'.");
    }
    ddl::NewColumn column = columnForType(add.type, db.version());
    if (column.autoNumber) requireNoAutoNumber(table, add);
    // The rows already there would hold Null in a field that requires a value; an AutoNumber
    // gives each of them its number.
    if (add.notNull && table.rowCount > 0 && !column.autoNumber) {
        throw Error(ErrorCode::Unsupported,
                    "Cannot add the required field '" + add.column.text + "' to table '" +
                        table.name +
                        "': its records would hold Null in it; add the field "
                        "without NOT NULL.");
    }
    column.name = add.column.text;
    column.collation = catalogCollation(db);
    requireValidName(column.name, "field");
    // Dropped fields still count until the database is compacted, as they do for Access.
    if (table.maxColumns >= ddl::kMaxColumns || table.columns.size() >= ddl::kMaxColumns) {
        std::string message = "Too many fields defined in table '" + table.name + "'.";
        if (table.columns.size() < ddl::kMaxColumns) {
            message +=
                " Fields dropped from it count until the database is compacted. "
                "Compact the database (quillfen-db compact " +
                db.path() + ").";
        }
        throw Error(ErrorCode::TooManyFields, message);
    }
    const auto properties = fieldProperties(add.notNull, add.defaultValue);
    db.write([&](store::WriteContext& ctx) {
        ddl::addColumn(ctx.file, ctx.format, table, column, ctx.codePage);
        if (column.autoNumber) numberRows(ctx, table, column.name);
        if (!properties.empty()) {
            storeProperties(
                db, table,
                store::withColumnProperties(ctx.format, catalogEntryOf(db, table).properties,
                                            ctx.codePage, column.name, properties),
                ctx);
        }
    });
}

void dropColumn(Database& db, const TableDef& table, const ast::DropColumn& drop) {
    const ColumnDef& column = existingColumn(table, drop.column.text);
    if (table.columns.size() == 1) refuseDrop(table, column, "a table keeps at least one field");
    for (const auto& index : table.indexes) {
        for (const auto& ic : index.columns) {
            if (ic.columnNumber == column.number) {
                refuseDrop(table, column,
                           "it is part of index '" + index.name + "'; delete the index first");
            }
        }
    }
    for (const auto& rel : enforcedRelationships(db, table.name)) {
        const auto& names = namesEqual(rel.referencing, table.name) ? rel.referencingColumns
                                                                    : rel.referencedColumns;
        for (const auto& n : names) {
            if (namesEqual(n, column.name)) {
                refuseDrop(table, column, "it takes part in the relationship '" + rel.name + "'");
            }
        }
    }
    const auto properties = propertiesOf(db, table);
    if (!CalculatedColumns(table, properties, db.version(), {column.order}).empty()) {
        refuseDrop(table, column, "a calculated field is computed from it");
    }
    // Access keeps a field's properties (caption, format, ...) with the table, in its catalog
    // row: they go with the field, or a field added later under its name would take them on.
    const bool hasProperties = properties.contains(foldName(column.name));
    db.write([&](store::WriteContext& ctx) {
        ddl::dropColumn(ctx.file, ctx.format, table, column);
        if (hasProperties) {
            storeProperties(
                db, table,
                store::withoutPropertyMap(ctx.format, catalogEntryOf(db, table).properties,
                                          ctx.codePage, column.name),
                ctx);
        }
    });
}

}  // namespace

ddl::NewColumn columnForType(const ast::DataType& type, Version version) {
    std::string upper = type.name.text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto found = std::find_if(kTypes.begin(), kTypes.end(),
                                    [&](const TypeName& t) { return upper == t.name; });
    if (found == kTypes.end()) badType(type, "unknown data type");
    ddl::NewColumn c;
    c.type = found->type;
    c.size = found->size;
    const auto& p = type.parameters;
    if (upper == "COUNTER" || upper == "AUTOINCREMENT") {
        if (!p.empty()) badType(type, "seed and increment are not supported");
        c.autoNumber = true;
    }
    if (c.type == ColumnType::BigInt && version != Version::Ace16 && version != Version::Ace17) {
        badType(type, "BIGINT needs an Access 2016 (ACE 16) database or later");
    }
    if (c.type == ColumnType::Text || c.type == ColumnType::Binary) {
        if (p.size() > 1) badType(type, "one length expected");
        const std::int32_t length = p.empty() ? 255 : p[0];
        if (length < 1 || length > 255) badType(type, "the length must be from 1 to 255");
        // Text takes two bytes a character in Jet 4 and ACE, one in Jet 3's code pages.
        const bool wide = c.type == ColumnType::Text && version != Version::Jet3;
        c.size = static_cast<std::uint16_t>(wide ? 2 * length : length);
    } else if (c.type == ColumnType::Decimal) {
        if (version == Version::Jet3) badType(type, "Access 97 databases have no Decimal fields");
        if (p.size() > 2) badType(type, "precision and scale expected");
        const std::int32_t precision = p.empty() ? 18 : p[0];
        const std::int32_t scale = p.size() < 2 ? 0 : p[1];
        if (precision < 1 || precision > 28 || scale < 0 || scale > precision) {
            badType(type, "the precision must be from 1 to 28 and the scale from 0 to it");
        }
        c.precision = static_cast<std::uint8_t>(precision);
        c.scale = static_cast<std::uint8_t>(scale);
    } else if (!p.empty()) {
        badType(type, "this type takes no size");
    }
    return c;
}

void requireValidName(const std::string& name, const char* what) {
    // A trailing blank would make a second name that looks exactly like the first ("Qty " beside
    // "Qty"); objects that other programs made so stay usable, only new ones are refused.
    if (!name.empty() && name.back() == ' ') {
        throw Error(ErrorCode::SyntaxError, "'" + name + "' is not a valid " + what +
                                                " name: a name cannot end with a blank.");
    }
    // Access counts a name's characters, as the file stores them (UTF-16 code units), not the
    // bytes of their UTF-8.
    if (utf16Length(name) > kMaxNameLength) {
        throw Error(ErrorCode::SyntaxError, "'" + name + "' is not a valid " + what +
                                                " name: a name holds at most " +
                                                std::to_string(kMaxNameLength) + " characters.");
    }
    if (name.empty() || name.front() == ' ' || name.find_first_of(".!`[]") != std::string::npos ||
        std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        throw Error(ErrorCode::SyntaxError, "'" + name + "' is not a valid " + what + " name.");
    }
}

std::vector<store::NewProperty> fieldProperties(bool notNull, const std::string& defaultValue) {
    std::vector<store::NewProperty> properties;
    if (notNull) properties.push_back(store::requiredProperty());
    if (!defaultValue.empty()) properties.push_back(store::defaultValueProperty(defaultValue));
    return properties;
}

ddl::Collation catalogCollation(const Database& db) {
    const ColumnDef* name = db.table("MSysObjects")->findColumn("Name");
    if (name == nullptr) {
        throw Error(ErrorCode::Corrupt, "The catalog of '" + db.path() + "' has no Name field.")
            .about(db.path());
    }
    return {static_cast<std::uint8_t>(name->sortOrder),
            static_cast<std::uint8_t>(name->sortOrder >> 8), 0, name->sortOrderVersion};
}

void runAlterTable(Database& db, const ast::AlterTable& alter, std::string_view) {
    const auto table = db.table(alter.table.text);
    if (table->tableType != 0x4e) {
        throw Error(ErrorCode::NotUpdatable,
                    "Cannot change the fields of system table '" + table->name + "'.");
    }
    store::requireKnownColumnTypes(*table, db.path(), "change the fields of");
    if (const auto* add = std::get_if<ast::AddColumn>(&alter.action)) {
        addColumn(db, *table, *add);
    } else {
        dropColumn(db, *table, std::get<ast::DropColumn>(alter.action));
    }
}

}  // namespace jet::sql
