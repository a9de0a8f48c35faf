// Text keys against the keys Access wrote: in every plain fixture, and in the public test
// databases of tests/data/jackcess, every index over Text in a General order (ascending or
// descending) is walked leaf by leaf, and each entry whose row the encoder takes must hold
// exactly the bytes it gives (MSysObjects' ParentIdName in every file, the text-keyed user
// tables, and testUnicodeCompV2003's texts of every kind give thousands in both orders). The
// Access 97 files, in fixtures/jet3 and fixtures-extra/jet3 (testIndexCodesV1997 keys every byte
// of code page 1252), are held to the Jet 3 order the same way. More files can be walked by
// hand: QUILLFEN_TEXT_KEY_FILES=a.mdb:b.accdb.
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
#include "jet/base/text_codec.h"
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
    std::vector<std::string> declinedTexts;
    std::size_t longestEntry = 0;  // flag byte and key of one text
    std::size_t withMarks = 0;     // an apostrophe or a hyphen
    std::size_t withAccents = 0;   // a character past U+007F
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
                        tally.declinedTexts.push_back(s ? *s : "Null");
                    } else if (key != e.key) {
                        if (tally.wrong.size() < 5)
                            tally.wrong.push_back(path + ": " + name + "." + ix.name + " '" +
                                                  (s ? *s : "Null") + "' stored " + hex(e.key) +
                                                  ", encoded " + hex(key));
                    } else {
                        ++tally.matched;
                        if (descending) ++tally.descending;
                        if (s == nullptr) continue;
                        tally.longestEntry =
                            std::max(tally.longestEntry,
                                     1 + index::encodeTextKey(*s, order, !descending)->size());
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
    switch (order) {
        case index::TextOrder::GeneralLegacy:
            return "GeneralLegacy";
        case index::TextOrder::General:
            return "General";
        case index::TextOrder::General97:
            return "General97";
    }
    return "?";
}

// Prints the tally and fails on any key that does not match.
void report(index::TextOrder order, const Tally& t) {
    std::cout << orderName(order) << ": " << t.matched << " keys match (" << t.descending
              << " descending, " << t.withAccents << " with characters past U+007F), "
              << t.characters.size() << " distinct characters, " << t.declined << " declined, "
              << t.wrong.size() << " wrong; the longest text entry " << t.longestEntry
              << " bytes\n";
    EXPECT_TRUE(t.wrong.empty()) << testing::PrintToString(t.wrong);
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
    for (const char* folder : {"jet4", "ace", "empty"}) {
        for (auto& f : filesIn(testsupport::fixture(folder))) files.push_back(f);
    }
    for (auto& f : filesIn(QUILLFEN_TEST_DATA "/jackcess")) files.push_back(f);
    if (const char* more = std::getenv("QUILLFEN_TEXT_KEY_FILES")) {
        std::istringstream list(more);
        for (std::string f; std::getline(list, f, ':');) files.push_back(f);
    }
    for (const auto& f : files) walkTextIndexes(f, tallies);
    // Files added by hand may hold Access 97 keys too.
    if (tallies.count(index::TextOrder::General97)) {
        report(index::TextOrder::General97, tallies[index::TextOrder::General97]);
    }
    for (const auto order : kBothOrders) {
        const Tally& t = tallies[order];
        report(order, t);
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

// Access 97's keys: every byte of code page 1252 between letters, in ascending and descending
// indexes, alone and with a second key column, and the catalog's and user tables' names. The
// encoder takes text as characters; the five bytes code page 1252 leaves undefined read, as in
// Windows, as the C1 controls of the same number, and are keyed as their bytes.
TEST(TextKey, EveryJet3EntryItEncodesMatchesWhatAccess97Stored) {
    std::map<index::TextOrder, Tally> tallies;
    bool haveExtra = false;
    for (const auto& f : testsupport::jet3Fixtures()) {
        haveExtra = haveExtra || f.rfind("../fixtures-extra/", 0) == 0;
        walkTextIndexes(testsupport::fixture(f), tallies);
    }
    const Tally& t = tallies[index::TextOrder::General97];
    report(index::TextOrder::General97, t);
    for (const auto& text : t.declinedTexts) ADD_FAILURE() << "declined: " << text;
    EXPECT_EQ(tallies.size(), 1u);  // no Jet 3 text index is taken for another order
    if (!haveExtra) {
        EXPECT_GT(t.matched, 10u);
        GTEST_SKIP() << testsupport::fixture("../fixtures-extra/jet3")
                     << " is not there: only the Access 97 keys of " << testsupport::fixture("jet3")
                     << " were compared";
    }
    EXPECT_GT(t.matched, 2000u);
    EXPECT_GT(t.descending, 500u);
    EXPECT_GT(t.withMarks, 0u);
    EXPECT_GT(t.withAccents, 100u);
    // Every byte of code page 1252 but NUL and 0x1A, the five it leaves undefined included.
    EXPECT_GE(t.characters.size(), 254u);
    EXPECT_EQ(t.declined, 0u);
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

// Keys Access 97 wrote in Northwind 97 (nwind.mdb of mdbtools/mdbtestdata, not kept here), for
// what the fixtures do not show: NUL, which the published data ignores, is coded as the other
// control characters; ß counts as two letters before the accent of the ä after it; a trailing
// space is not keyed; each accent counts the letters since the one before. They are also the
// longest Access 97 entries at hand (the first is 42 bytes with its flag byte).
TEST(TextKey, Access97KeysThatNorthwindHolds) {
    const std::vector<std::pair<std::string, std::string>> keys{
        {"Plutzer Lebensmittelgro\xC3\x9Fm\xC3\xA4rkte AG",
         "736d78777e6675116d66616670766f6a7777666d68757276766f60756c776611606802222222222260"},
        {std::string("Lock\0", 5), "6d72626c1000"},
        {"Frankfurt a.M. ", "677560706c6778757711601f6f1f00"},
        {"Guaran\xC3\xA1 Fant\xC3\xA1stica", "6878607560706011676070776076776a62600222242240"},
        {"Supr\xC3\xAAmes d\xC3\xA9lices", "76787375666f66761164666d6a62667602252240"},
        {"Tradi\xC3\xA7\xC3\xA3o Hipermercados",
         "777560646a62607211696a7366756f66756260647276022970"},
        {"Sir Rodney's Marmalade", "766a751175726470667d1876116f60756f606d60646600"},
        {"Chop-suey Chinese", "626972731e7678667d1162696a7066766600"},
    };
    for (const auto& [text, stored] : keys) {
        EXPECT_EQ(hex(keyOf(text, index::TextOrder::General97)), stored) << text;
    }
    EXPECT_EQ(keyOf(keys[0].first, index::TextOrder::General97).size() + 1,
              index::maxTextEntryBytes(index::TextOrder::General97));
}

TEST(TextKey, Access97DeclinesWhatItCannotPlace) {
    const auto order = index::TextOrder::General97;
    // Characters code page 1252 has no byte for: U+FFFD, and the C1 controls but the five that
    // stand for its undefined bytes.
    for (const char* text :
         {"\xC4\x80", "a\xEF\xBF\xBD", "\xC2\x80", "\xC2\x82", "\xCE\xB6", "\xF0\x9F\x98\x80"}) {
        EXPECT_FALSE(index::encodeTextKey(text, order, true)) << text;
        EXPECT_TRUE(index::firstCharacterNotKeyed(text, order)) << text;
    }
    EXPECT_EQ(index::firstCharacterNotKeyed("ab\xC4\x80z", order), U'\u0100');
    EXPECT_FALSE(index::firstCharacterNotKeyed("\xE2\x82\xAC \xC5\x93", order));  // € œ
    EXPECT_FALSE(index::firstCharacterNotKeyed("\xC2\x81\xC2\x9D", order));  // Windows' 0x81, 0x9D
    EXPECT_FALSE(index::firstCharacterNotKeyed("\xC4\x80", index::TextOrder::General));
    // Entries up to the longest Access 97 wrote at hand, both directions.
    for (const bool ascending : {true, false}) {
        EXPECT_TRUE(index::encodeTextKey(std::string(40, 'a'), order, ascending));
        EXPECT_FALSE(index::encodeTextKey(std::string(41, 'a'), order, ascending));
        EXPECT_TRUE(index::encodeTextKey(std::string(40, 'a') + "   ", order, ascending));
    }
    EXPECT_FALSE(index::encodeTextKey("ab\xC3", order, true));

    // The order a Jet 3 column names: General in code page 1252 only.
    ColumnDef column;
    column.type = ColumnType::Text;
    column.jet3 = true;
    column.sortOrder = 1033;
    column.codePage = 1252;
    EXPECT_EQ(index::generalTextOrder(column), order);
    column.codePage = 0;  // the database's, which the definition does not tell
    EXPECT_FALSE(index::generalTextOrder(column));
    column.codePage = 1251;
    EXPECT_FALSE(index::generalTextOrder(column));
    column.codePage = 1252;
    column.sortOrder = 1053;
    EXPECT_FALSE(index::generalTextOrder(column));
    column.sortOrder = 0;
    EXPECT_FALSE(index::generalTextOrder(column));
    // A later definition's sort order and version, as before.
    column = ColumnDef{};
    column.type = ColumnType::Text;
    column.sortOrder = 1033;
    EXPECT_EQ(index::generalTextOrder(column), index::TextOrder::GeneralLegacy);
    column.sortOrderVersion = 1;
    EXPECT_EQ(index::generalTextOrder(column), index::TextOrder::General);
}

// Every character of code page 1252, as the reader gives them, has an Access 97 key, and keys
// compare as Access 97 compares text; every other code unit is refused.
TEST(TextKey, EveryCharacterOfCodePage1252HasAnAccess97Key) {
    const auto order = index::TextOrder::General97;
    std::set<char32_t> inCodePage;
    for (int b = 0; b < 256; ++b) {
        const std::uint8_t byte = static_cast<std::uint8_t>(b);
        const std::string text = decodeCodePageText(ByteSpan(&byte, 1), 1252);
        std::size_t i = 0;
        inCodePage.insert(nextCodePoint(text, i));
        const auto key = index::encodeTextKey(text, order, true);
        ASSERT_TRUE(key) << b;
        const auto down = index::encodeTextKey(text, order, false);
        ASSERT_TRUE(down) << b;
        // Descending: the ascending key inverted, and nothing more.
        ASSERT_EQ(down->size(), key->size());
        for (std::size_t k = 0; k < key->size(); ++k)
            ASSERT_EQ((*down)[k], static_cast<std::uint8_t>(~(*key)[k]));
    }
    EXPECT_EQ(inCodePage.size(), 256u);
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (inCodePage.count(cp) || (cp >= 0xD800 && cp < 0xE000)) continue;
        std::string text;
        appendUtf8(text, cp);
        ASSERT_FALSE(index::encodeTextKey(text, order, true)) << std::hex << int(cp);
    }
    // Case is not keyed (a unique index takes only one of the two); accents are.
    EXPECT_EQ(keyOf("M\xC3\x9CLLER", order), keyOf("m\xC3\xBCller", order));
    EXPECT_NE(keyOf("m\xC3\xBCller", order), keyOf("muller", order));
    EXPECT_EQ(keyOf("abc   ", order), keyOf("abc", order));
    EXPECT_EQ(keyOf("   ", order), keyOf("", order));
    EXPECT_NE(keyOf(" abc", order), keyOf("abc", order));
    EXPECT_EQ(keyOf("", order), (std::vector<std::uint8_t>{0x00}));
    // Order of words as Access 97 puts them: hyphens and apostrophes are characters like others.
    const std::vector<std::string> sorted{"",         "1",    "10",    "2",       "a",
                                          "\xC3\xA4", "Ab",   "ab-c",  "abc",     "b",
                                          "co-op",    "coop", "Zebra", "\xC3\xBE"};
    for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
        EXPECT_LT(keyOf(sorted[i], order), keyOf(sorted[i + 1], order))
            << sorted[i] << " / " << sorted[i + 1];
    }
}
