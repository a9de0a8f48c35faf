// The catalog: the rows of MSysObjects, whose definition always starts on page 2, and the
// tables rowset derived from them.
#pragma once

#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"

namespace jet::store {

inline constexpr std::uint32_t kCatalogDefinitionPage = 2;

// Object types of the catalog.
inline constexpr std::int16_t kObjectLocalTable = 1;
inline constexpr std::int16_t kObjectOdbcLinkedTable = 4;
inline constexpr std::int16_t kObjectQuery = 5;
inline constexpr std::int16_t kObjectLinkedTable = 6;

std::vector<CatalogEntry> readCatalog(const file::PageFile& file, const format::Format& fmt,
                                      std::uint16_t codePage);

// The tables rowset: one row per table, query and link, ordered by type and then by name
// without regard to case. Objects that are none of these are left out.
std::vector<TablesRowsetRow> tablesRowset(const std::vector<CatalogEntry>& catalog);

// The rowset type of one catalog entry, or null for objects that are not in the rowset.
const char* rowsetType(const CatalogEntry& entry);

}  // namespace jet::store
