// The shared database procedures: listing the user tables, filling a list with them, the field
// test and the Null default.
#include "db/access.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/list_box.h"
#include "support/fake_platform.h"
#include "support/fixtures.h"
#include "tests/db/db_support.h"

using testsupport::ChosenDatabase;
using testsupport::failureOf;
using testsupport::fixture;
using Names = std::vector<std::string>;

namespace {

class FakeListBox final : public app::ListBoxControl {
public:
    void AddItem(const std::string& text) override { items.push_back(text); }
    void RemoveItem(int index) override { items.erase(items.begin() + index); }
    void Clear() override {
        items.clear();
        selected = -1;
    }
    int ListCount() const override { return static_cast<int>(items.size()); }
    std::string List(int index) const override { return items.at(index); }
    int ListIndex() const override { return selected; }
    void SetListIndex(int index) override { selected = index; }

    Names items;
    int selected = -1;
};

// Tables of the user's database, as the wizard's Next action asks for them.
std::optional<Names> tablesOf(const std::string& path, const std::string& password = "") {
    ChosenDatabase chosen(path, password);
    return db::GetTableNames(path);
}

}  // namespace

TEST(GetTableNames, ListsOnlyUserTablesOfEveryFormat) {
    const Names four{"Table1", "Table2", "Table3", "Table4"};
    EXPECT_EQ(tablesOf(fixture("jet3/test97.mdb")), four);
    EXPECT_EQ(tablesOf(fixture("jet4/test2000.mdb")), four);
    EXPECT_EQ(tablesOf(fixture("ace/test2010.accdb")), four);
    // Each holds a saved query, and system tables of both kinds.
    EXPECT_EQ(tablesOf(fixture("jet4/queryTestV2000.mdb")), (Names{"Table1", "Table2", "Table3"}));
    EXPECT_EQ(tablesOf(fixture("ace/queryTestV2010.accdb")), (Names{"Table1", "Table2", "Table3"}));
    EXPECT_EQ(tablesOf(fixture("password/V2000_with-password.mdb"), "password"), Names{"Table1"});
}

TEST(GetTableNames, LeavesOutLinkedTables) {
    const std::string linker = fixture("ace/linkerTestV2007.accdb");
    if (!std::filesystem::exists(linker)) GTEST_SKIP() << "no fixture with a linked table";
    EXPECT_EQ(tablesOf(linker), Names{"Table1"});
}

TEST(GetTableNames, GivesAnEmptyListForNoTablesNoneForNoFileAndFailuresToTheCaller) {
    EXPECT_EQ(tablesOf(fixture("empty/emptyJet4.mdb")), Names{});
    EXPECT_EQ(tablesOf(fixture("empty/empty2019.accdb")), Names{});
    // Nothing is opened: opening a missing file would fail.
    EXPECT_EQ(tablesOf(fixture("jet4/missing.mdb")), std::nullopt);
    EXPECT_EQ(tablesOf(""), std::nullopt);

    const std::string locked = fixture("password/V2003_with-password.mdb");
    const auto wrong = failureOf([&] { tablesOf(locked); });
    EXPECT_EQ(wrong.number(), 3031);
    EXPECT_EQ(wrong.description(), "Not a valid password. (file '" + locked + "')");
}

class AddTablesToAccessListbox : public ::testing::Test {
protected:
    testsupport::FakePlatform platform;
    FakeListBox list;
};

TEST_F(AddTablesToAccessListbox, RefillsTheListSelectingTheFirstTableAndLeavesItForNoFile) {
    const auto fill = [&](const std::string& file) {
        ChosenDatabase chosen(fixture(file));
        db::AddTablesToAccessListbox(list, "ignored", "ignored");
    };
    list.items = {"Old"};
    fill("jet4/queryTestV2000.mdb");
    EXPECT_EQ(list.items, (Names{"Table1", "Table2", "Table3"}));
    EXPECT_EQ(list.selected, 0);
    fill("empty/emptyJet4.mdb");
    EXPECT_TRUE(list.items.empty());
    EXPECT_EQ(list.selected, -1);
    list.items = {"Old"};
    fill("jet4/no-such-file.mdb");
    EXPECT_EQ(list.items, Names{"Old"});
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(AddTablesToAccessListbox, AWrongPasswordIsReportedAtLine102AndEmptiesTheList) {
    list.items = {"Old"};
    list.selected = 0;
    ChosenDatabase chosen(fixture("password/V2000_with-password.mdb"), "wrong");
    db::AddTablesToAccessListbox(list, "", "");
    ASSERT_EQ(platform.messages.size(), 1u);
    const auto& shown = platform.messages[0];
    EXPECT_EQ(shown.title, "Application Error");
    EXPECT_EQ(shown.icon, app::MessageIcon::Exclamation);
    EXPECT_TRUE(shown.text.starts_with("Not a valid password. (file '" +
                                       fixture("password/V2000_with-password.mdb") +
                                       "')\r\nin Brassloe2021/08/31."
                                       "Access.AddTablesToAccessListbox at line 102\r\r"))
        << shown.text;
    EXPECT_TRUE(list.items.empty());
    EXPECT_EQ(list.selected, -1);
}

TEST(FieldExists, IsTrueOnlyWhenTheQueryOnTheFieldOpens) {
    {
        ChosenDatabase chosen(fixture("jet4/test2000.mdb"));
        EXPECT_TRUE(db::FieldExists("Table1", "A"));
        EXPECT_TRUE(db::FieldExists("table1", "h"));
        EXPECT_FALSE(db::FieldExists("Table1", "Aa"));
        EXPECT_FALSE(db::FieldExists("Table9", "A"));
        EXPECT_FALSE(db::FieldExists("Table1", "A]"));
        // Both fields exist, but no field has this name; the caller would drop one of them.
        EXPECT_FALSE(db::FieldExists("Table1", "A], [B"));
        EXPECT_FALSE(db::FieldExists("Table1] , [Table2", "A"));
    }
    {
        ChosenDatabase chosen(fixture("password/V2000_with-password.mdb"), "password");
        EXPECT_TRUE(db::FieldExists("Table1", "Data"));
    }
    ChosenDatabase chosen(fixture("password/V2000_with-password.mdb"), "wrong");
    EXPECT_FALSE(db::FieldExists("Table1", "Data"));
}

TEST(NullToDefault, ReplacesOnlyNull) {
    EXPECT_EQ(db::NullToDefault(jet::Null{}, std::string()), jet::Value(std::string()));
    EXPECT_EQ(db::NullToDefault(std::string("Price"), std::string()),
              jet::Value(std::string("Price")));
    EXPECT_EQ(db::NullToDefault(std::int32_t{0}, std::string("x")), jet::Value(std::int32_t{0}));
}
