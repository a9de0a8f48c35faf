#include "jet/index/text_key.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "jet/base/utf8.h"
#include "jet/index/text_key_tables.h"

namespace jet::index {
namespace {

using text_key_tables::Kind;
using text_key_tables::OrderRules;

constexpr std::uint16_t kGeneralSortOrder = 1033;
constexpr std::uint16_t kGeneral97CodePage = 1252;

constexpr std::uint8_t kEndOfCodes = 0x01;
constexpr std::uint8_t kEndOfKey = 0x00;
// The accent/case bytes of the characters before one that has some, when they have none.
constexpr std::uint8_t kPlainAccent = 0x02;
// An unprintable character's mark: 0x8000 | (7 + 4 * its position), big-endian, this byte, then
// its mark bytes.
constexpr std::uint8_t kMarkSeparator = 0x06;
// Case/width flags: three to a byte, two bits each, after this prefix; the flags of the
// characters at the end that have the plain flag are left out.
constexpr std::uint8_t kFlagBytePrefix = 0x80;
constexpr std::uint8_t kPlainFlag = 0x03;
constexpr std::array<std::uint8_t, 5> kFlagsTrailer{0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr std::uint8_t kFlagsBeforeMarks = 0xFF;

// Access 97: the nibble that opens and closes the accents, and that of a letter without one.
constexpr std::uint8_t kAccentsBound = 0x0;
constexpr std::uint8_t kPlainLetterAccent = 0x2;

// A surrogate sorts by a two-byte code computed from its value and carries this accent byte.
constexpr std::uint8_t kSurrogateAccent = 0x3F;

// One character's rule, read from the generated tables.
struct Rule {
    Kind kind = Kind::Ignored;
    std::array<std::uint8_t, 8> code{};  // the sort code (Simple, International, Flagged)
    std::uint8_t codeLength = 0;
    const std::uint8_t* extra = nullptr;  // accent/case bytes, or an Unprintable's mark
    std::uint8_t extraLength = 0;
    std::uint8_t modifier = 0;  // Modifier: added to the last accent/case byte
    std::uint8_t flag = 0;      // Flagged: its case/width flag
};

const OrderRules& rulesOf(TextOrder order) {
    switch (order) {
        case TextOrder::GeneralLegacy:
            return text_key_tables::kGeneralLegacy;
        case TextOrder::General:
            return text_key_tables::kGeneral;
        case TextOrder::General97:
            return text_key_tables::kGeneral97;
    }
    return text_key_tables::kGeneral;
}

void setCode(Rule& rule, std::uint64_t value, std::uint8_t length) {
    rule.codeLength = length;
    for (std::uint8_t i = 0; i < length; ++i) {
        rule.code[length - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// The code of a surrogate: high surrogates at a fixed distance below their value; low ones at a
// distance that shrinks by two after the first 8 of each 1024 and after each further 254.
std::uint32_t surrogateCode(std::uint16_t unit) {
    if (unit < 0xDC00) return unit - 10238u;
    const unsigned within = (unit - 0xDC00u) % 1024u;
    const unsigned steps = within < 8 ? 0 : std::min(4u, 1 + (within - 8) / 254);
    return unit - (9992u - 2 * steps);
}

Rule ruleOf(const OrderRules& rules, std::uint16_t unit) {
    const std::uint16_t* end = rules.first + rules.runs;
    const std::uint16_t* run = std::upper_bound(rules.first, end, unit) - 1;
    assert(rules.record[run - rules.first] < rules.recordBytes);
    const std::uint8_t* r = rules.records + rules.record[run - rules.first];
    Rule rule;
    rule.kind = static_cast<Kind>(r[0]);
    switch (rule.kind) {
        case Kind::Ignored:
        case Kind::NotInCodePage:
            break;
        case Kind::Surrogate:
            setCode(rule, surrogateCode(unit), 2);
            rule.extra = &kSurrogateAccent;
            rule.extraLength = 1;
            break;
        case Kind::Simple: {
            // Codes in a run count up by one; carries may run through every byte.
            const std::uint8_t n = r[1];
            assert(n <= rule.code.size());
            std::uint64_t value = 0;
            for (std::uint8_t i = 0; i < n; ++i) value = (value << 8) | r[2 + i];
            setCode(rule, value + static_cast<std::uint64_t>(unit - *run), n);
            break;
        }
        case Kind::Significant:
            rule.codeLength = r[1];
            assert(rule.codeLength <= rule.code.size());
            std::copy_n(r + 2, rule.codeLength, rule.code.begin());
            break;
        case Kind::Unprintable:
            rule.extraLength = r[1];
            rule.extra = r + 2;
            break;
        case Kind::Modifier:
            rule.modifier = r[1];
            break;
        case Kind::International:
        case Kind::Flagged: {
            rule.codeLength = r[1];
            assert(rule.codeLength <= rule.code.size());
            std::copy_n(r + 2, rule.codeLength, rule.code.begin());
            rule.extraLength = r[2 + rule.codeLength];
            rule.extra = r + 3 + rule.codeLength;
            if (rule.kind == Kind::Flagged) rule.flag = rule.extra[rule.extraLength];
            break;
        }
    }
    return rule;
}

// The text as UTF-16 code units, as Access keys it; nullopt for malformed UTF-8 (which cannot
// have come from a stored text). Code points past U+FFFF become surrogate pairs.
std::optional<std::u16string> utf16Units(std::string_view text) {
    std::u16string units;
    units.reserve(text.size());
    if (!forEachUtf16Unit(text, [&units](char16_t u) { units.push_back(u); })) return std::nullopt;
    return units;
}

// The three tails that follow a key's sort codes, gathered character by character.
class KeyTails {
public:
    // `coded` is the number of characters with sort codes before this one.
    void add(const Rule& rule, std::size_t coded) {
        if (rule.kind == Kind::Unprintable) {
            addMark(rule, coded);
        } else if ((rule.kind == Kind::Modifier && rule.modifier != 0) || rule.extraLength > 0) {
            addAccent(rule, coded);
        }
        if (rule.kind == Kind::Flagged) {
            flagged_ = true;
            flags_.push_back(rule.flag);
        }
    }

    void appendTo(std::vector<std::uint8_t>& key) {
        // Trailing plain accents say nothing and are dropped, as are trailing plain flags.
        while (!accents_.empty() && accents_.back() <= kPlainAccent) accents_.pop_back();
        while (!flags_.empty() && flags_.back() == kPlainFlag) flags_.pop_back();
        // Any flagged character brings the flags part, even when all its flags were dropped.
        const bool anyFlags = flagged_;
        key.insert(key.end(), accents_.begin(), accents_.end());
        if (!anyFlags && marks_.empty()) return;
        key.insert(key.end(), {kEndOfCodes, kEndOfCodes});
        if (anyFlags) {
            for (std::size_t i = 0; i < flags_.size(); i += 3) {
                std::uint8_t b = kFlagBytePrefix;
                for (std::size_t k = 0; k < 3 && i + k < flags_.size(); ++k) {
                    b = static_cast<std::uint8_t>(b | (flags_[i + k] << (2 * (2 - k))));
                }
                key.push_back(b);
            }
            key.insert(key.end(), kFlagsTrailer.begin(), kFlagsTrailer.end());
            if (!marks_.empty()) key.push_back(kFlagsBeforeMarks);
        }
        if (!marks_.empty()) {
            key.push_back(kEndOfCodes);
            key.insert(key.end(), marks_.begin(), marks_.end());
        }
    }

private:
    void addAccent(const Rule& rule, std::size_t coded) {
        started_ = true;
        // Characters since the last accent that had none count as plain.
        if (accentChars_ < coded) {
            accents_.insert(accents_.end(), coded - accentChars_, kPlainAccent);
            accentChars_ = coded;
        }
        if (rule.kind != Kind::Modifier) {
            accents_.insert(accents_.end(), rule.extra, rule.extra + rule.extraLength);
            ++accentChars_;
        } else if (!accents_.empty()) {
            accents_.back() = static_cast<std::uint8_t>(accents_.back() + rule.modifier);
        } else {
            // A modifier with nothing to modify stands alone, and is not counted in the
            // positions of the marks that follow.
            accents_.push_back(rule.modifier);
            leadingModifiers_ = 1;
        }
    }

    void addMark(const Rule& rule, std::size_t coded) {
        // The position counts accent bytes written so far plus the coded characters still to be
        // given theirs, once any accent has been written.
        std::size_t position = coded;
        if (started_) position = accents_.size() + (coded - accentChars_) - leadingModifiers_;
        const auto p = static_cast<std::uint16_t>(0x8000 | (7 + 4 * position));
        marks_.insert(marks_.end(), {static_cast<std::uint8_t>(p >> 8),
                                     static_cast<std::uint8_t>(p), kMarkSeparator});
        marks_.insert(marks_.end(), rule.extra, rule.extra + rule.extraLength);
    }

    std::vector<std::uint8_t> accents_;
    std::size_t accentChars_ = 0;  // characters the accent bytes stand for
    std::size_t leadingModifiers_ = 0;
    bool started_ = false;
    std::vector<std::uint8_t> flags_;
    bool flagged_ = false;
    std::vector<std::uint8_t> marks_;
};

// The ascending key of the newer orders: the codes, an end byte, the tails, an end byte.
std::vector<std::uint8_t> unicodeKey(const std::u16string& units, const OrderRules& rules) {
    std::vector<std::uint8_t> key;
    key.reserve(2 * units.size() + 2);
    KeyTails tails;
    std::size_t coded = 0;
    for (const char16_t unit : units) {
        const Rule rule = ruleOf(rules, unit);
        const std::size_t before = coded;
        if (rule.codeLength > 0) {
            key.insert(key.end(), rule.code.begin(), rule.code.begin() + rule.codeLength);
            ++coded;
        }
        if (rule.kind == Kind::Simple || rule.kind == Kind::Ignored) continue;
        tails.add(rule, before);
    }
    key.push_back(kEndOfCodes);
    tails.appendTo(key);
    key.push_back(kEndOfKey);
    return key;
}

// Access 97's accent nibbles, packed high nibble first.
class Nibbles {
public:
    bool empty() const { return count_ == 0; }
    void push(std::uint8_t nibble) {
        assert(nibble < 16);
        if (count_ % 2 == 0) {
            bytes_.push_back(static_cast<std::uint8_t>(nibble << 4));
        } else {
            bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | nibble);
        }
        ++count_;
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t count_ = 0;
};

// The ascending key of Access 97's order: the codes, then, when an accented letter is among
// them, the accent nibbles between two bounds (each accent after a plain nibble for every
// letter since the previous accent that could have carried one); otherwise one end byte.
// nullopt for a character the code page lacks.
std::optional<std::vector<std::uint8_t>> general97Key(const std::u16string& units) {
    std::vector<std::uint8_t> key;
    key.reserve(units.size() + 1);
    Nibbles accents;
    std::size_t letters = 0;  // letters that could carry an accent, since the last accent
    for (const char16_t unit : units) {
        const Rule rule = ruleOf(text_key_tables::kGeneral97, unit);
        if (rule.kind == Kind::NotInCodePage) return std::nullopt;
        key.insert(key.end(), rule.code.begin(), rule.code.begin() + rule.codeLength);
        if (rule.kind == Kind::Significant) {
            letters += rule.codeLength;
        } else if (rule.kind == Kind::International) {
            assert(rule.extraLength == 1);
            if (accents.empty()) accents.push(kAccentsBound);
            for (; letters > 0; --letters) accents.push(kPlainLetterAccent);
            accents.push(rule.extra[0]);
        }
    }
    if (accents.empty()) {
        key.push_back(kEndOfKey);
    } else {
        accents.push(kAccentsBound);
        key.insert(key.end(), accents.bytes().begin(), accents.bytes().end());
    }
    return key;
}

}  // namespace

std::optional<TextOrder> generalTextOrder(std::uint16_t sortOrder, std::uint8_t version) {
    if (sortOrder != kGeneralSortOrder) return std::nullopt;
    if (version == 0) return TextOrder::GeneralLegacy;
    if (version == 1) return TextOrder::General;
    return std::nullopt;
}

std::optional<TextOrder> generalTextOrder(const ColumnDef& column) {
    if (!column.jet3) return generalTextOrder(column.sortOrder, column.sortOrderVersion);
    if (column.sortOrder != kGeneralSortOrder || column.codePage != kGeneral97CodePage) {
        return std::nullopt;
    }
    return TextOrder::General97;
}

std::size_t maxTextEntryBytes(TextOrder order) {
    switch (order) {
        case TextOrder::GeneralLegacy:
            return 685;
        case TextOrder::General:
            return 508;
        case TextOrder::General97:
            return 42;
    }
    return 0;
}

std::optional<std::vector<std::uint8_t>> encodeTextKey(std::string_view text, TextOrder order,
                                                       bool ascending) {
    auto units = utf16Units(text);
    if (!units || units->size() > kMaxKeyTextLength) return std::nullopt;
    // Trailing spaces do not count.
    while (!units->empty() && units->back() == u' ') units->pop_back();

    auto key = order == TextOrder::General97 ? general97Key(*units)
                                             : std::optional(unicodeKey(*units, rulesOf(order)));
    if (!key) return std::nullopt;
    // A descending key inverts all of this; in the newer orders it ends with one more
    // (uninverted) end byte.
    if (!ascending) {
        for (auto& b : *key) b = static_cast<std::uint8_t>(~b);
        if (order != TextOrder::General97) key->push_back(kEndOfKey);
    }
    if (key->size() + 1 > maxTextEntryBytes(order)) return std::nullopt;
    return key;
}

std::optional<char32_t> firstCharacterNotKeyed(std::string_view text, TextOrder order) {
    if (order != TextOrder::General97 || !isUtf8(text)) return std::nullopt;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = nextCodePoint(text, i);
        if (cp > 0xFFFF ||
            ruleOf(text_key_tables::kGeneral97, static_cast<std::uint16_t>(cp)).kind ==
                Kind::NotInCodePage) {
            return cp;
        }
    }
    return std::nullopt;
}

}  // namespace jet::index
