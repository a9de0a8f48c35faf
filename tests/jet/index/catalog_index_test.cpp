// A new object in the catalog is a new row of MSysObjects, and its unique index ParentIdName
// (ParentId, Name) must take it: the row's entry lands where Access would look for it, and a
// name already under the same parent (whatever its case) is refused.
#include <gtest/gtest.h>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/index/table_indexes.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

// A catalog row modelled on the container of the database's tables, under another id and name.
std::vector<Value> containerNamed(const Database& db, const TableDef& catalog, std::int32_t id,
                                  const std::string& name) {
    auto cursor = db.scan(db.table("MSysObjects"));
    const auto column = [&](const char* n) { return catalog.findColumn(n)->order; };
    while (cursor.next()) {
        if (cursor.row()[column("Name")] != Value(std::string("Tables"))) continue;
        std::vector<Value> row = cursor.row();
        row[column("Id")] = id;
        row[column("Name")] = name;
        return row;
    }
    ADD_FAILURE() << "no Tables container";
    return {};
}

void addRow(Database& db, const std::vector<Value>& row) {
    const auto catalog = db.table("MSysObjects");
    db.write([&](store::WriteContext& ctx) {
        store::TableWriter writer(ctx.file, ctx.format, *catalog, ctx.codePage);
        index::TableIndexes indexes(ctx.file, ctx.format, *catalog);
        indexes.insertRow(writer.insertRow(row), row);
        writer.adjustRowCount(1);
        indexes.finish();
    });
}

}  // namespace

TEST(CatalogIndex, NewObjectsTakeTheirEntriesInParentIdName) {
    TempDir dir;
    for (const char* fixture : {"jet4/empty2000.mdb", "ace/empty2010.accdb"}) {
        SCOPED_TRACE(fixture);
        const std::string path = dir.copyOf(fixture);
        auto db = Database::open(path);
        const auto catalog = db->table("MSysObjects");
        addRow(*db, containerNamed(*db, *catalog, 0x0F00FFF0, "Quillfen Objects"));
        expectNoFaults(path);

        const auto before = bytesOf(path);
        try {
            addRow(*db, containerNamed(*db, *catalog, 0x0F00FFF1, "QUILLFEN OBJECTS"));
            ADD_FAILURE() << "a second object of the same name under the same parent";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::DuplicateKey) << e.what();
        }
        EXPECT_EQ(bytesOf(path), before);
    }
}
