// What an Access database is made of, as the engine holds it once read: its version, and the
// definitions of its tables (columns, indexes), its catalog entries and where a row lives. The
// codecs below the engine's public face and the statements above it share these types.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/value.h"

namespace jet {

enum class Version { Jet3, Jet4, Ace12, Ace14, Ace16, Ace17 };
const char* versionName(Version v);  // "Jet 3", "Jet 4", "ACE 12", ...

struct ColumnDef {
    std::string name;
    ColumnType type = ColumnType::Long;
    std::uint16_t number = 0;       // column id; gaps where columns were deleted
    std::uint16_t order = 0;        // position among the table's columns
    std::uint16_t varIndex = 0;     // slot among variable-length columns
    std::uint16_t fixedOffset = 0;  // offset among fixed-length data
    std::uint16_t size = 0;         // bytes (Text: bytes of storage, 2 per character in Jet 4)
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    std::uint16_t codePage = 0;  // Jet 3 text columns; 0 for the database's
    // Text and Memo columns: the sort order their index keys follow (1033 for Access's General
    // orders); 0 when the definition gives none. Jet 4 and later give a version of it too (0 or
    // 1 for General); Jet 3 gives none, and keys text by its characters in codePage.
    std::uint16_t sortOrder = 0;
    std::uint8_t sortOrderVersion = 0;
    bool jet3 = false;            // read from (or made for) a Jet 3 table definition
    std::uint8_t flags = 0;       // raw flags byte
    std::uint8_t extraFlags = 0;  // ACE: calculated-column and others
    bool fixedLength = false;
    bool nullable = true;
    bool autoNumber = false;
    bool autoGuid = false;
    bool compressedText = false;
    bool hyperlink = false;
    bool calculated = false;
    std::uint32_t complexTypeId = 0;  // Complex columns: id in the complex-type table
    // Memo and OLE columns of Jet 4 and later: usage maps of the long-value pages the column
    // owns, and of those with free space (row pointers; 0 when the definition has none).
    std::uint32_t longValuePagesRow = 0;
    std::uint32_t longValueFreePagesRow = 0;
};

// The bytes the wrapper of a calculated column's stored result adds to it; the column's size
// counts them too.
inline constexpr std::size_t kCalculatedWrapperSize = 23;

struct IndexColumn {
    std::uint16_t columnNumber = 0;
    bool ascending = true;
};

struct IndexDef {
    std::string name;
    std::uint32_t number = 0;      // logical index number
    std::uint32_t dataNumber = 0;  // the index data (real index) it uses
    std::vector<IndexColumn> columns;
    std::uint32_t firstPage = 0;     // first index page of its data: the root of its tree
    std::uint32_t usedPagesRow = 0;  // row pointer of the usage map of its pages
    std::uint8_t flags = 0;          // unique, ignore nulls, required
    std::uint8_t kind = 0;           // 0 normal, 1 primary key, 2 foreign key
    bool unique = false;
    bool ignoreNulls = false;
    bool required = false;
    bool primaryKey() const { return kind == 1; }
    bool foreignKey() const { return kind == 2; }
};

struct TableDef {
    std::string name;
    std::uint32_t definitionPage = 0;
    std::uint32_t rowCount = 0;
    std::uint32_t nextAutoNumber = 0;
    std::uint8_t tableType = 0;    // 0x4e user, 0x53 system
    std::uint16_t maxColumns = 0;  // highest column count a row may hold
    std::uint16_t varColumnCount = 0;
    std::vector<ColumnDef> columns;  // in the table's column order
    std::vector<IndexDef> indexes;
    std::uint32_t usedPagesRow = 0;  // row pointer of the usage map of data pages
    std::uint32_t freePagesRow = 0;

    // Case-insensitive lookup, as Access compares names. Null when absent.
    const ColumnDef* findColumn(std::string_view wanted) const;
};

// One object of the catalog (MSysObjects).
struct CatalogEntry {
    std::int32_t id = 0;
    std::int32_t parentId = 0;
    std::string name;
    std::int16_t type = 0;
    std::uint32_t flags = 0;
    std::string database;     // linked tables: the file
    std::string foreignName;  // linked tables: the table's name there
    std::string connect;      // linked tables: the connect string
    Bytes properties;         // the LvProp blob: properties of the object and its columns
};

// One row of the tables rowset: TABLE_NAME and TABLE_TYPE.
struct TablesRowsetRow {
    std::string name;
    std::string type;  // "TABLE", "SYSTEM TABLE", "ACCESS TABLE", "VIEW", "LINK", "PASS-THROUGH"
};

// Where a row lives: a data page and a slot on it.
struct RowLocation {
    std::uint32_t page = 0;
    std::uint16_t slot = 0;
    bool operator==(const RowLocation&) const = default;
};

}  // namespace jet
