#include "jet/store/catalog.h"

#include <algorithm>

#include "jet/base/names.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_scan.h"

namespace jet::store {
namespace {

constexpr std::uint32_t kSystemObjectFlag = 0x80000000;
constexpr std::uint32_t kHiddenSystemFlag = 0x00000002;
// Query kinds live in the high nibble of the low byte of a query's flags; 0 is a plain select.
constexpr std::uint32_t kQueryKindMask = 0xF0;

template <typename T>
T integerOr(const Value& v, T fallback) {
    if (auto p = std::get_if<std::int32_t>(&v)) return static_cast<T>(*p);
    if (auto p = std::get_if<std::int16_t>(&v)) return static_cast<T>(*p);
    if (auto p = std::get_if<std::uint8_t>(&v)) return static_cast<T>(*p);
    return fallback;
}

std::string textOr(const Value& v) {
    if (auto p = std::get_if<std::string>(&v)) return *p;
    return {};
}

bool startsWithMsys(const std::string& name) {
    return name.size() >= 4 && foldName(name.substr(0, 4)) == "msys";
}

}  // namespace

std::vector<CatalogEntry> readCatalog(const file::PageFile& file, const format::Format& fmt,
                                      std::uint16_t codePage) {
    const TableDef def =
        readTableDefinition(file, fmt, kCatalogDefinitionPage, "MSysObjects", codePage);
    const auto column = [&](std::string_view name) -> int {
        for (std::size_t i = 0; i < def.columns.size(); ++i) {
            if (namesEqual(def.columns[i].name, name)) return static_cast<int>(i);
        }
        return -1;
    };
    const int id = column("Id"), parent = column("ParentId"), name = column("Name"),
              type = column("Type"), flags = column("Flags"), database = column("Database"),
              foreign = column("ForeignName"), connect = column("Connect"),
              properties = column("LvProp");
    if (id < 0 || name < 0 || type < 0) {
        throw Error(ErrorCode::Corrupt,
                    "The catalog of '" + file.path() + "' lacks its Id, Name or Type column.")
            .about(file.path());
    }
    const auto at = [](const std::vector<Value>& row, int i) -> const Value& {
        static const Value null = Null{};
        return i < 0 ? null : row[static_cast<std::size_t>(i)];
    };

    std::vector<CatalogEntry> entries;
    TableScan scan(file, fmt, def, codePage);
    while (scan.next()) {
        const auto& row = scan.row();
        CatalogEntry e;
        e.id = integerOr<std::int32_t>(at(row, id), 0);
        e.parentId = integerOr<std::int32_t>(at(row, parent), 0);
        e.name = textOr(at(row, name));
        e.type = integerOr<std::int16_t>(at(row, type), 0);
        e.flags = integerOr<std::uint32_t>(at(row, flags), 0);
        e.database = textOr(at(row, database));
        e.foreignName = textOr(at(row, foreign));
        e.connect = textOr(at(row, connect));
        if (auto p = std::get_if<Bytes>(&at(row, properties))) e.properties = *p;
        entries.push_back(std::move(e));
    }
    return entries;
}

const char* rowsetType(const CatalogEntry& e) {
    switch (e.type) {
        case kObjectLocalTable:
            if (e.flags & kSystemObjectFlag) return "SYSTEM TABLE";
            if ((e.flags & kHiddenSystemFlag) || startsWithMsys(e.name)) return "ACCESS TABLE";
            return "TABLE";
        case kObjectQuery:
            return (e.flags & kQueryKindMask) == 0 ? "VIEW" : nullptr;
        case kObjectLinkedTable:
            return "LINK";
        case kObjectOdbcLinkedTable:
            return "PASS-THROUGH";
        default:
            return nullptr;
    }
}

std::vector<TablesRowsetRow> tablesRowset(const std::vector<CatalogEntry>& catalog) {
    std::vector<TablesRowsetRow> rows;
    for (const auto& e : catalog) {
        if (const char* type = rowsetType(e)) rows.push_back({e.name, type});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        if (a.type != b.type) return a.type < b.type;
        return compareNames(a.name, b.name) < 0;
    });
    return rows;
}

}  // namespace jet::store
