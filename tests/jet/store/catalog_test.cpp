// The tables rowset's classification of catalog objects.
#include "jet/store/catalog.h"

#include <gtest/gtest.h>

using jet::CatalogEntry;
using jet::store::rowsetType;

namespace {
CatalogEntry entry(std::string name, std::int16_t type, std::uint32_t flags) {
    CatalogEntry e;
    e.name = std::move(name);
    e.type = type;
    e.flags = flags;
    return e;
}
std::string typeOf(const CatalogEntry& e) {
    const char* t = rowsetType(e);
    return t ? t : "(none)";
}
}  // namespace

TEST(RowsetType, ClassesEveryKindOfObject) {
    EXPECT_EQ(typeOf(entry("Orders", 1, 0)), "TABLE");
    EXPECT_EQ(typeOf(entry("MSysObjects", 1, 0x80000000)), "SYSTEM TABLE");
    EXPECT_EQ(typeOf(entry("f_0123_Data", 1, 0x800A0000)), "SYSTEM TABLE");
    EXPECT_EQ(typeOf(entry("MSysNavPaneGroups", 1, 0x0A)), "ACCESS TABLE");
    // A table named like a system table is hidden by Access whatever its flags say.
    EXPECT_EQ(typeOf(entry("msysMine", 1, 0)), "ACCESS TABLE");
    EXPECT_EQ(typeOf(entry("Q", 5, 0)), "VIEW");
    EXPECT_EQ(typeOf(entry("U", 5, 0x30)), "(none)");
    EXPECT_EQ(typeOf(entry("Linked", 6, 0)), "LINK");
    EXPECT_EQ(typeOf(entry("Odbc", 4, 0)), "PASS-THROUGH");
    EXPECT_EQ(typeOf(entry("Tables", 3, 0x80000000)), "(none)");
}

TEST(RowsetOrder, SortsTypesThenNamesWithoutRegardToCase) {
    const auto rows = jet::store::tablesRowset(
        {entry("beta", 1, 0), entry("Alpha", 1, 0), entry("MSysObjects", 1, 0x80000000),
         entry("zeta", 6, 0), entry("Ärger", 1, 0), entry("alpha2", 1, 0), entry("View", 5, 0)});
    std::vector<std::string> got;
    for (const auto& r : rows) got.push_back(r.type + ":" + r.name);
    EXPECT_EQ(got,
              (std::vector<std::string>{"LINK:zeta", "SYSTEM TABLE:MSysObjects", "TABLE:Alpha",
                                        "TABLE:alpha2", "TABLE:beta", "TABLE:Ärger", "VIEW:View"}));
}
