// Properties Access keeps for a table and its fields (ValidationRule, ValidationText,
// AllowZeroLength, ...), written into the table's catalog row through the engine's own
// property-map writer: files with rules where no fixture has them. Jet 4 and ACE files only.
#pragma once

#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/base/utf8.h"
#include "jet/database.h"
#include "jet/store/property_map.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"

namespace testsupport {

inline jet::store::NewProperty textProperty(const std::string& name, const std::string& text) {
    jet::store::NewProperty p{name, 0x0A, {}};
    jet::appendUtf16(p.data, text);
    return p;
}

inline jet::store::NewProperty yesNoProperty(const std::string& name, bool yes) {
    return {name, 0x01, {static_cast<std::uint8_t>(yes ? 0xFF : 0x00)}};
}

// Puts `properties` in place of the map of field `column` of `table`, or of the table's own map
// when `column` is empty; the table's other maps stay as they were.
inline void setProperties(jet::Database& db, const std::string& table, const std::string& column,
                          const std::vector<jet::store::NewProperty>& properties) {
    const jet::CatalogEntry* entry = nullptr;
    for (const auto& e : db.catalog()) {
        if (e.type == 1 && e.name == table) entry = &e;
    }
    if (entry == nullptr) throw jet::Error(jet::ErrorCode::TableNotFound, table);
    const auto catalog = db.table("MSysObjects");
    const jet::ColumnDef* id = catalog->findColumn("Id");
    const jet::ColumnDef* lvProp = catalog->findColumn("LvProp");
    const std::int32_t wanted = entry->id;
    const jet::Bytes old = entry->properties;
    db.write([&](jet::store::WriteContext& ctx) {
        const jet::Bytes blob =
            column.empty()
                ? jet::store::withTableProperties(ctx.format, old, ctx.codePage, properties)
                : jet::store::withColumnProperties(ctx.format, old, ctx.codePage, column,
                                                   properties);
        jet::store::TableWriter writer(ctx.file, ctx.format, *catalog, ctx.codePage);
        std::vector<bool> changed(catalog->columns.size(), false);
        changed[lvProp->order] = true;
        auto cursor = db.scan(catalog);
        while (cursor.next()) {
            if (cursor.row()[id->order] != jet::Value(wanted)) continue;
            std::vector<jet::Value> values = cursor.row();
            values[lvProp->order] = blob;
            writer.updateRow(cursor.location(), values, changed);
            ctx.catalogChanged = true;
            return;
        }
        throw jet::Error(jet::ErrorCode::Corrupt, "no catalog row for " + table);
    });
}

}  // namespace testsupport
