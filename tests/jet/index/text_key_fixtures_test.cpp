// Text keys against the keys Access wrote: in every plain fixture, every index over a Text
// column is walked leaf by leaf, and each entry whose row's values the encoder takes must hold
// exactly the bytes the encoder gives. The catalog's ParentIdName index in every file, and the
// text-keyed user tables of the index fixtures, give thousands of entries in both General
// orders.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/file/header.h"
#include "jet/file/page_file.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "support/fixtures.h"

using namespace jet;

namespace {

struct Tally {
    std::size_t matched = 0;
    std::size_t refused = 0;         // entries whose values the encoder does not take
    std::size_t withMarks = 0;       // matched keys of texts with an apostrophe or hyphen
    std::vector<std::string> wrong;  // the first few entries that differ
};

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::ostringstream out;
    out << std::hex;
    for (const auto b : bytes) out << (b < 16 ? "0" : "") << static_cast<int>(b);
    return out.str();
}

class TextIndexWalker {
public:
    explicit TextIndexWalker(const std::string& path)
        : db_(Database::open(path)), file_(path), fmt_(*file::openHeader(file_, "").format) {}

    void walkAll(std::map<index::TextOrder, Tally>& tallies) {
        std::vector<std::string> tables{"MSysObjects"};
        for (const auto& e : db_->catalog()) {
            if (e.type == 1 && e.name != "MSysObjects") tables.push_back(e.name);
        }
        for (const auto& name : tables) {
            std::shared_ptr<const TableDef> table;
            try {
                table = db_->table(name);
            } catch (const Error&) {
                continue;  // a table this engine does not open; the checker reports those
            }
            std::map<std::uint32_t, const IndexDef*> data;
            for (const auto& ix : table->indexes) data.emplace(ix.dataNumber, &ix);
            for (const auto& [number, ix] : data) walkIndex(*table, *ix, tallies);
        }
    }

private:
    void walkIndex(const TableDef& table, const IndexDef& ix,
                   std::map<index::TextOrder, Tally>& tallies) {
        std::vector<std::pair<index::KeyColumn, std::size_t>> columns;
        std::optional<index::TextOrder> order;
        std::size_t textPosition = 0;
        for (const auto& ic : ix.columns) {
            const ColumnDef* c = nullptr;
            for (const auto& d : table.columns) {
                if (d.number == ic.columnNumber) c = &d;
            }
            if (c == nullptr) return;
            const auto column = index::keyColumnFor(*c, ic.ascending);
            if (!column) return;
            if (column->textOrder) {
                order = column->textOrder;
                textPosition = c->order;
            }
            columns.emplace_back(*column, c->order);
        }
        if (!order) return;
        Tally& tally = tallies[*order];
        for (std::uint32_t page = firstLeaf(ix.firstPage); page != 0;) {
            const index::IndexPage leaf = index::readIndexPage(fmt_, *file_.page(page));
            for (const auto& e : leaf.entries) {
                const auto row = db_->readRow(table, RowLocation{e.dataPage, e.dataRow});
                std::vector<std::uint8_t> key;
                bool encodable = true;
                for (const auto& [column, position] : columns) {
                    encodable = encodable && index::appendKeyColumn(key, column, row[position]);
                }
                if (!encodable) {
                    ++tally.refused;
                    continue;
                }
                const auto* text = std::get_if<std::string>(&row[textPosition]);
                if (key != e.key) {
                    if (tally.wrong.size() < 5) {
                        tally.wrong.push_back(table.name + "." + ix.name + " '" +
                                              (text ? *text : "(null)") + "': stored " +
                                              hex(e.key) + ", encoded " + hex(key));
                    }
                    continue;
                }
                ++tally.matched;
                if (text && text->find_first_of("'-") != std::string::npos) ++tally.withMarks;
            }
            page = leaf.nextPage;
        }
    }

    std::uint32_t firstLeaf(std::uint32_t page) const {
        for (int depth = 0; depth < 16; ++depth) {
            const index::IndexPage p = index::readIndexPage(fmt_, *file_.page(page));
            if (p.leaf) return page;
            page = p.entries.empty() ? p.tailPage : p.entries.front().childPage;
        }
        ADD_FAILURE() << "index tree deeper than any real one";
        return 0;
    }

    std::unique_ptr<Database> db_;
    file::PageFile file_;
    const format::Format& fmt_;
};

}  // namespace

TEST(TextKeyFixtures, EveryEncodableEntryMatchesWhatAccessStored) {
    std::map<index::TextOrder, Tally> tallies;
    for (const char* folder : {"jet3", "jet4", "ace", "empty"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(testsupport::fixture(folder))) {
            SCOPED_TRACE(entry.path().string());
            TextIndexWalker(entry.path().string()).walkAll(tallies);
        }
    }
    for (const auto order : {index::TextOrder::GeneralLegacy, index::TextOrder::General}) {
        const Tally& t = tallies[order];
        SCOPED_TRACE(order == index::TextOrder::General ? "General" : "General (legacy)");
        EXPECT_TRUE(t.wrong.empty()) << testing::PrintToString(t.wrong);
        // Enough of each kind that a wrong code for any common character would show.
        EXPECT_GT(t.matched, 1000u);
        EXPECT_GT(t.withMarks, 0u);
        // What the encoder declines (names with other characters) stays the exception.
        EXPECT_LT(t.refused * 10, t.matched);
    }
}
