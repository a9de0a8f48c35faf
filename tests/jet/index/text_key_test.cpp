// Text keys must order and equate texts as Access's General sort orders do (case and trailing
// spaces ignored, apostrophes and hyphens counted only between otherwise equal texts), and
// decline what they cannot place. That each key is the one Access stores is checked against
// the fixtures in text_key_fixtures_test.cpp.
#include "jet/index/text_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "jet/index/index_key.h"

using jet::index::encodeTextKey;
using jet::index::TextOrder;

namespace {

constexpr TextOrder kOrders[] = {TextOrder::GeneralLegacy, TextOrder::General};

std::vector<std::uint8_t> key(const std::string& text, TextOrder order, bool ascending = true) {
    const auto k = encodeTextKey(text, order, ascending);
    EXPECT_TRUE(k.has_value()) << "'" << text << "'";
    return k.value_or(std::vector<std::uint8_t>{});
}

}  // namespace

// What a unique index must take for the same value: Access refuses "SMITH" beside "smith".
TEST(TextKey, TextsAccessHoldsEqualShareOneKey) {
    for (const auto order : kOrders) {
        for (const bool ascending : {true, false}) {
            EXPECT_EQ(key("Smith & Co.", order, ascending), key("SMITH & co.", order, ascending));
            EXPECT_EQ(key("smith", order, ascending), key("smith   ", order, ascending));
            EXPECT_EQ(key("", order, ascending), key("  ", order, ascending));
            EXPECT_NE(key("smith", order, ascending), key("smyth", order, ascending));
            EXPECT_NE(key("smith", order, ascending), key(" smith", order, ascending));
            EXPECT_NE(key("O'Brien", order, ascending), key("OBrien", order, ascending));
            EXPECT_NE(key("O'Brien", order, ascending), key("O-Brien", order, ascending));
            EXPECT_NE(key("a-b", order, ascending), key("ab-", order, ascending));
        }
    }
}

TEST(TextKey, KeysSortAsTheGeneralOrderDoes) {
    // Punctuation before digits before letters; a text before its extensions; an apostrophe or
    // a hyphen only breaks the tie between otherwise equal texts.
    const std::vector<std::string> sorted = {
        "",      "-",       "!",       "(1)",     "0",  "09",   "1",
        "10",    "9 lives", "a",       "a b",     "ab", "coop", "co-op",
        "coops", "OBrien",  "O'Brien", "OBriens", "Z",  "z{",   "zz",
    };
    for (const auto order : kOrders) {
        std::vector<std::vector<std::uint8_t>> asc, desc;
        for (const auto& s : sorted) {
            asc.push_back(key(s, order));
            desc.push_back(key(s, order, false));
        }
        for (std::size_t i = 1; i < sorted.size(); ++i) {
            EXPECT_LT(asc[i - 1], asc[i]) << "'" << sorted[i - 1] << "' < '" << sorted[i] << "'";
            EXPECT_GT(desc[i - 1], desc[i]) << "'" << sorted[i - 1] << "' < '" << sorted[i] << "'";
        }
    }
}

TEST(TextKey, DeclinesWhatItCannotPlace) {
    for (const auto order : kOrders) {
        for (const char* text : {"grüße", "tab\there", "line\n", "\x7f", "na\xc3\xafve", "\x01"}) {
            EXPECT_FALSE(encodeTextKey(text, order, true)) << "'" << text << "'";
        }
        EXPECT_TRUE(encodeTextKey(std::string(255, 'x') + "   ", order, true));
        EXPECT_FALSE(encodeTextKey(std::string(256, 'x'), order, true));
    }
    EXPECT_EQ(jet::index::generalTextOrder(1033, 0), TextOrder::GeneralLegacy);
    EXPECT_EQ(jet::index::generalTextOrder(1033, 1), TextOrder::General);
    EXPECT_FALSE(jet::index::generalTextOrder(1033, 2));
    EXPECT_FALSE(jet::index::generalTextOrder(1036, 0));  // French
    EXPECT_FALSE(jet::index::generalTextOrder(0, 0));     // none given

    // The index columns the engine keeps: ascending Text in a General order, nothing else.
    jet::ColumnDef text;
    text.type = jet::ColumnType::Text;
    text.sortOrder = 1033;
    EXPECT_TRUE(jet::index::keyColumnFor(text, true));
    EXPECT_FALSE(jet::index::keyColumnFor(text, false));
    text.sortOrder = 1053;  // Swedish/Finnish
    EXPECT_FALSE(jet::index::keyColumnFor(text, true));
    jet::ColumnDef memo = text;
    memo.type = jet::ColumnType::Memo;
    memo.sortOrder = 1033;
    EXPECT_FALSE(jet::index::keyColumnFor(memo, true));
}
