// Text keys against the keys Access wrote: in every plain fixture, and in the public test
// databases of tests/data/jackcess, every index over Text in a General order (ascending or
// descending) is walked leaf by leaf, and each entry whose row the encoder takes must hold
// exactly the bytes it gives (MSysObjects' ParentIdName in every file, the text-keyed user
// tables, and testUnicodeCompV2003's texts of every kind give thousands in both orders). More
// files can be walked by hand: QUILLFEN_TEXT_KEY_FILES=a.mdb:b.accdb.
#include "jet/index/text_key.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "jet/base/error.h"
#include "jet/base/utf8.h"
#include "jet/database.h"
#include "jet/file/header.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "support/fixtures.h"

using namespace jet;

namespace {

struct Tally {
    std::size_t matched = 0, descending = 0, declined = 0;
    std::size_t withMarks = 0;    // an apostrophe or a hyphen
    std::size_t withAccents = 0;  // a character past U+007F
    std::set<char32_t> characters;
    std::vector<std::string> wrong;
};

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::ostringstream out;
    for (const auto b : bytes) out << std::hex << (b < 16 ? "0" : "") << int{b};
    return out.str();
}

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
            bool descending = false;
            for (const auto& ic : ix.columns) {
                const auto c = std::find_if(table->columns.begin(), table->columns.end(),
                                            [&](auto& d) { return d.number == ic.columnNumber; });
                const auto column = index::storedKeyColumnFor(*c, ic.ascending);
                if (!column) break;
                if (column->textOrder) {
                    text = c->order;
                    order = *column->textOrder;
                    descending = descending || !ic.ascending;
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
                                                  (s ? *s : "Null") + "' stored " + hex(e.key) +
                                                  ", encoded " + hex(key));
                    } else {
                        ++tally.matched;
                        if (descending) ++tally.descending;
                        if (s == nullptr) continue;
                        if (s->find_first_of("'-") != std::string::npos) ++tally.withMarks;
                        bool accented = false;
                        for (std::size_t i = 0; i < s->size();) {
                            const char32_t cp = nextCodePoint(*s, i);
                            tally.characters.insert(cp);
                            accented = accented || cp > 0x7F;
                        }
                        if (accented) ++tally.withAccents;
                    }
                }
                page = leaf.nextPage;
            }
        }
    }
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& f : std::filesystem::directory_iterator(folder)) {
        const auto ext = f.path().extension();
        if (ext == ".mdb" || ext == ".accdb") files.push_back(f.path().string());
    }
    return files;
}

const char* orderName(index::TextOrder order) {
    return order == index::TextOrder::General ? "General" : "GeneralLegacy";
}

std::vector<std::uint8_t> keyOf(std::string_view text, index::TextOrder order,
                                bool ascending = true) {
    const auto key = index::encodeTextKey(text, order, ascending);
    EXPECT_TRUE(key) << text;
    return key.value_or(std::vector<std::uint8_t>{});
}

constexpr std::array<index::TextOrder, 2> kBothOrders{index::TextOrder::GeneralLegacy,
                                                      index::TextOrder::General};

}  // namespace

TEST(TextKey, EveryEntryItEncodesMatchesWhatAccessStored) {
    std::map<index::TextOrder, Tally> tallies;
    std::vector<std::string> files;
    for (const char* folder : {"jet3", "jet4", "ace", "empty"}) {
        for (auto& f : filesIn(testsupport::fixture(folder))) files.push_back(f);
    }
    for (auto& f : filesIn(QUILLFEN_TEST_DATA "/jackcess")) files.push_back(f);
    if (const char* more = std::getenv("QUILLFEN_TEXT_KEY_FILES")) {
        std::istringstream list(more);
        for (std::string f; std::getline(list, f, ':');) files.push_back(f);
    }
    for (const auto& f : files) walkTextIndexes(f, tallies);
    for (const auto order : kBothOrders) {
        const Tally& t = tallies[order];
        std::cout << orderName(order) << ": " << t.matched << " keys match (" << t.descending
                  << " descending, " << t.withAccents << " with characters past U+007F), "
                  << t.characters.size() << " distinct characters, " << t.declined << " declined, "
                  << t.wrong.size() << " wrong\n";
        EXPECT_TRUE(t.wrong.empty()) << testing::PrintToString(t.wrong);
        EXPECT_GT(t.matched, 1000u);
        EXPECT_GT(t.withMarks, 0u);
        EXPECT_GT(t.withAccents, 0u);
        EXPECT_EQ(t.declined, 0u);
    }
    // testUnicodeCompV2003 holds texts of many scripts, one of them every printable character
    // of Latin-1 in an entry of 685 bytes; the fixtures' emoticons are surrogate pairs.
    EXPECT_GT(tallies[index::TextOrder::GeneralLegacy].characters.size(), 250u);
    EXPECT_GT(tallies[index::TextOrder::General].characters.size(), 100u);
    EXPECT_TRUE(tallies[index::TextOrder::General].characters.count(U'\U0001F600') ||
                tallies[index::TextOrder::GeneralLegacy].characters.count(U'\U0001F600'));
}

// A second implementation's keys over far more characters than Access's keys at hand, both
// directions (tests/data/jackcess-made/README.md). Entries past Access 2010's limit, which
// Jackcess cuts in a way not verified here, are declined.
TEST(TextKey, EveryEntryItEncodesMatchesWhatJackcessWrote) {
    std::map<index::TextOrder, Tally> tallies;
    for (const auto& f : filesIn(QUILLFEN_TEST_DATA "/jackcess-made")) walkTextIndexes(f, tallies);
    for (const auto order : kBothOrders) {
        const Tally& t = tallies[order];
        std::cout << orderName(order) << ": " << t.matched << " keys match (" << t.descending
                  << " descending), " << t.characters.size() << " distinct characters, "
                  << t.declined << " declined, " << t.wrong.size() << " wrong\n";
        EXPECT_TRUE(t.wrong.empty()) << testing::PrintToString(t.wrong);
        EXPECT_GT(t.matched, 1400u);
        EXPECT_GT(t.descending, 700u);
        EXPECT_GT(t.characters.size(), 3000u);
    }
}

TEST(TextKey, DeclinesWhatItCannotPlace) {
    // Access keys only the first 255 code units of a longer text; that cut has not been held to
    // a key Access wrote.
    const auto legacy = index::TextOrder::GeneralLegacy, general = index::TextOrder::General;
    EXPECT_TRUE(index::encodeTextKey(std::string(255, '1'), legacy, true));
    EXPECT_FALSE(index::encodeTextKey(std::string(256, '1'), legacy, true));
    // The newer order's codes take two bytes or more, so that its entries pass 508 bytes before
    // 255 characters.
    EXPECT_TRUE(index::encodeTextKey(std::string(252, '1'), general, true));
    EXPECT_FALSE(index::encodeTextKey(std::string(253, '1'), general, true));
    EXPECT_TRUE(index::encodeTextKey(std::string(252, '1'), general, false));
    for (const auto order : kBothOrders) {
        // Malformed UTF-8 (a cut sequence, a lone continuation byte) is not a stored text; the
        // replacement character itself is.
        for (const char* text : {"ab\xC3", "\x80x", "\xE2\x82"}) {
            EXPECT_FALSE(index::encodeTextKey(text, order, true)) << text;
        }
        EXPECT_TRUE(index::encodeTextKey("\xEF\xBF\xBD", order, true));
        // Entries past the order's limit are refused at exactly the limit, ascending and
        // descending (whose key is one byte longer).
        for (const bool ascending : {true, false}) {
            std::string text;
            std::optional<std::size_t> previous, growth;
            bool refused = false;
            for (std::size_t n = 1; n <= 255 && !refused; ++n) {
                text += "-";  // four bytes of mark each
                const auto key = index::encodeTextKey(text, order, ascending);
                if (!key) {
                    refused = true;
                    ASSERT_TRUE(previous && growth) << n;
                    EXPECT_GT(*previous + 1 + *growth, index::maxTextEntryBytes(order)) << n;
                    continue;
                }
                EXPECT_LE(key->size() + 1, index::maxTextEntryBytes(order));
                if (previous) growth = key->size() - *previous;
                previous = key->size();
            }
            EXPECT_TRUE(refused);
        }
    }
    EXPECT_FALSE(index::generalTextOrder(1033, 2));
    EXPECT_FALSE(index::generalTextOrder(1053, 0));  // Swedish/Finnish
}

// What holds for every character, in both orders: keys compare as Access compares text.
TEST(TextKey, EveryCharacterHasAKeyThatSortsAsAccessCompares) {
    for (const auto order : kBothOrders) {
        std::size_t coded = 0;
        for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x10000 ? 1 : 0x3FF)) {
            if (cp >= 0xD800 && cp < 0xE000) continue;
            std::string text;
            appendUtf8(text, cp);
            const auto key = index::encodeTextKey(text, order, true);
            ASSERT_TRUE(key) << std::hex << int(cp);
            const auto down = index::encodeTextKey(text, order, false);
            ASSERT_TRUE(down);
            // Descending: the ascending key inverted, then one more end byte.
            ASSERT_EQ(down->size(), key->size() + 1);
            for (std::size_t i = 0; i < key->size(); ++i)
                ASSERT_EQ((*down)[i], static_cast<std::uint8_t>(~(*key)[i]));
            ASSERT_EQ(down->back(), 0);
            ASSERT_EQ(key->back(), 0);
            if ((*key)[0] != 0x01) ++coded;
        }
        EXPECT_GT(coded, 40000u) << orderName(order);
        // Case is not keyed (a unique index takes only one of the two); accents are.
        EXPECT_EQ(keyOf("M\xC3\x9CLLER", order), keyOf("m\xC3\xBCller", order));
        EXPECT_NE(keyOf("m\xC3\xBCller", order), keyOf("muller", order));
        EXPECT_EQ(keyOf("abc   ", order), keyOf("abc", order));
        EXPECT_EQ(keyOf("   ", order), keyOf("", order));
        EXPECT_NE(keyOf(" abc", order), keyOf("abc", order));
        EXPECT_EQ(keyOf("", order), (std::vector<std::uint8_t>{0x01, 0x00}));
        // Order of words, as the General orders put them (hyphens and apostrophes count last).
        const std::vector<std::string> sorted{"",         "1",     "10",    "2",        "a",
                                              "\xC3\xA4", "Ab",    "abc",   "ab-c",     "b",
                                              "coop",     "co-op", "Zebra", "\xCE\xB6", "\xD1\x8F"};
        for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
            EXPECT_LE(keyOf(sorted[i], order), keyOf(sorted[i + 1], order))
                << sorted[i] << " / " << sorted[i + 1] << " in " << orderName(order);
        }
    }
}
