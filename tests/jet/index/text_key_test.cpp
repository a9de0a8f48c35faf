// Text keys against the keys Access wrote: in every plain fixture, every index over ascending
// Text is walked leaf by leaf, and each entry whose row the encoder takes must hold exactly the
// bytes it gives (MSysObjects' ParentIdName in every file, and the text-keyed user tables, give
// thousands in both General orders). What the encoder cannot place it must decline.
#include "jet/index/text_key.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/file/header.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "support/fixtures.h"

using namespace jet;

namespace {

struct Tally {
    std::size_t matched = 0, declined = 0, withMarks = 0;  // marks: an apostrophe or a hyphen
    std::vector<std::string> wrong;
};

void walkTextIndexes(const std::string& path, std::map<index::TextOrder, Tally>& tallies) {
    const auto db = Database::open(path);
    file::PageFile file(path);
    const format::Format& fmt = *file::openHeader(file, "").format;
    std::vector<std::string> tables{"MSysObjects"};
    for (const auto& e : db->catalog()) {
        if (e.type == 1 && e.name != "MSysObjects") tables.push_back(e.name);
    }
    for (const auto& name : tables) {
        std::shared_ptr<const TableDef> table;
        try {
            table = db->table(name);
        } catch (const Error&) {
            continue;  // a column type the engine does not read (MSysAccessObjects in Jet 4)
        }
        for (const auto& ix : table->indexes) {
            std::vector<std::pair<index::KeyColumn, std::size_t>> columns;
            std::optional<std::size_t> text;
            index::TextOrder order{};
            for (const auto& ic : ix.columns) {
                const auto c = std::find_if(table->columns.begin(), table->columns.end(),
                                            [&](auto& d) { return d.number == ic.columnNumber; });
                const auto column = index::keyColumnFor(*c, ic.ascending);
                if (!column) break;
                if (column->textOrder) {
                    text = c->order;
                    order = *column->textOrder;
                }
                columns.emplace_back(*column, c->order);
            }
            if (!text || columns.size() != ix.columns.size()) continue;
            Tally& tally = tallies[order];
            std::uint32_t page = ix.firstPage;
            for (auto p = index::readIndexPage(fmt, *file.page(page)); !p.leaf;
                 p = index::readIndexPage(fmt, *file.page(page))) {
                page = p.entries.empty() ? p.tailPage : p.entries.front().childPage;
            }
            while (page != 0) {
                const auto leaf = index::readIndexPage(fmt, *file.page(page));
                for (const auto& e : leaf.entries) {
                    const auto row = db->readRow(*table, RowLocation{e.dataPage, e.dataRow});
                    std::vector<std::uint8_t> key;
                    bool taken = true;
                    for (const auto& [column, at] : columns) {
                        taken = taken && index::appendKeyColumn(key, column, row[at]);
                    }
                    const auto* s = std::get_if<std::string>(&row[*text]);
                    if (!taken) {
                        ++tally.declined;
                    } else if (key != e.key) {
                        if (tally.wrong.size() < 5)
                            tally.wrong.push_back(path + ": " + name + "." + ix.name + " '" +
                                                  (s ? *s : "Null") + "'");
                    } else {
                        ++tally.matched;
                        if (s && s->find_first_of("'-") != std::string::npos) ++tally.withMarks;
                    }
                }
                page = leaf.nextPage;
            }
        }
    }
}

}  // namespace

TEST(TextKey, EveryEntryItEncodesMatchesWhatAccessStored) {
    std::map<index::TextOrder, Tally> tallies;
    for (const char* folder : {"jet3", "jet4", "ace", "empty"}) {
        for (const auto& f : std::filesystem::directory_iterator(testsupport::fixture(folder))) {
            walkTextIndexes(f.path().string(), tallies);
        }
    }
    for (const auto order : {index::TextOrder::GeneralLegacy, index::TextOrder::General}) {
        const Tally& t = tallies[order];
        EXPECT_TRUE(t.wrong.empty()) << testing::PrintToString(t.wrong);
        EXPECT_GT(t.matched, 1000u);
        EXPECT_GT(t.withMarks, 0u);
        EXPECT_LT(t.declined * 10, t.matched);  // names with other characters stay rare
    }
}

TEST(TextKey, DeclinesWhatItCannotPlace) {
    for (const auto order : {index::TextOrder::GeneralLegacy, index::TextOrder::General}) {
        for (const char* text : {"grüße", "tab\there", "\x7f", "\x01", "trailing "}) {
            EXPECT_FALSE(index::encodeTextKey(text, order, true)) << text;
        }
        EXPECT_TRUE(index::encodeTextKey(std::string(255, 'x'), order, true));
        EXPECT_FALSE(index::encodeTextKey(std::string(256, 'x'), order, true));
    }
    // The newer order's codes for most punctuation and Z were never seen in a key Access wrote.
    for (const char* text : {"O'Brien", "Zoe", "a!", "[x]", "~"}) {
        EXPECT_TRUE(index::encodeTextKey(text, index::TextOrder::GeneralLegacy, true)) << text;
        EXPECT_FALSE(index::encodeTextKey(text, index::TextOrder::General, true)) << text;
    }
    EXPECT_FALSE(index::generalTextOrder(1033, 2));
    EXPECT_FALSE(index::generalTextOrder(1053, 0));  // Swedish/Finnish
    // Descending text keys were never held to an index Access wrote: such indexes are not kept.
    ColumnDef text;
    text.type = ColumnType::Text;
    text.sortOrder = 1033;
    EXPECT_TRUE(index::keyColumnFor(text, true));
    EXPECT_FALSE(index::keyColumnFor(text, false));
}
