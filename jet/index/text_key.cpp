#include "jet/index/text_key.h"

#include <array>

namespace jet::index {
namespace {

constexpr std::uint16_t kGeneralSortOrder = 1033;

constexpr std::uint8_t kEndOfCodes = 0x01;
constexpr std::uint8_t kEndOfKey = 0x00;
// A left-out character is marked after the codes by its position, as 0x8000 | (7 + 4 * the
// number of codes before it), big-endian, then this byte and the character's mark.
constexpr std::uint8_t kMarkSeparator = 0x06;

// The sort code of a character in each order: one byte when below 0x100, else two
// (big-endian). Two values are not codes: a character left out of the codes, and one whose code
// no key Access wrote has shown (the newer order's punctuation and Z; the tables in the public
// descriptions of the format give codes for them, but a wrong code would misplace the entry).
constexpr std::uint16_t kLeftOut = 0;
constexpr std::uint16_t kUnknown = 0xFFFF;

struct Codes {
    std::uint16_t legacy = kUnknown;
    std::uint16_t general = kUnknown;
};

struct Punctuation {
    char c;
    Codes codes;
};

// Every printable character that is neither a letter nor a digit.
constexpr std::array<Punctuation, 33> kPunctuation{{
    {' ', {0x07, 0x0702}},     {'!', {0x09, kUnknown}},      {'"', {0x0A, kUnknown}},
    {'#', {0x0C, kUnknown}},   {'$', {0x0E, kUnknown}},      {'%', {0x10, kUnknown}},
    {'&', {0x12, kUnknown}},   {'\'', {kLeftOut, kUnknown}}, {'(', {0x14, kUnknown}},
    {')', {0x16, kUnknown}},   {'*', {0x18, kUnknown}},      {'+', {0x2C, kUnknown}},
    {',', {0x1A, kUnknown}},   {'-', {kLeftOut, kLeftOut}},  {'.', {0x1C, 0x0733}},
    {'/', {0x1E, kUnknown}},   {':', {0x20, kUnknown}},      {';', {0x22, kUnknown}},
    {'<', {0x2E, kUnknown}},   {'=', {0x30, kUnknown}},      {'>', {0x32, kUnknown}},
    {'?', {0x24, kUnknown}},   {'@', {0x26, kUnknown}},      {'[', {0x27, kUnknown}},
    {'\\', {0x29, kUnknown}},  {']', {0x2A, kUnknown}},      {'^', {0x2B02, kUnknown}},
    {'_', {0x2B03, 0x0744}},   {'`', {0x2B07, kUnknown}},    {'{', {0x2B09, kUnknown}},
    {'|', {0x2B0B, kUnknown}}, {'}', {0x2B0D, kUnknown}},    {'~', {0x2B0F, kUnknown}},
}};

// A to Z; lower case letters share the codes.
constexpr std::array<Codes, 26> kLetters{{
    {0x4A, 0x0E02},   {0x4C, 0x0E09}, {0x4D, 0x0E0A}, {0x4F, 0x0E1A}, {0x51, 0x0E21},
    {0x53, 0x0E23},   {0x55, 0x0E25}, {0x57, 0x0E2C}, {0x59, 0x0E32}, {0x5B, 0x0E35},
    {0x5C, 0x0E36},   {0x5E, 0x0E48}, {0x60, 0x0E51}, {0x62, 0x0E70}, {0x64, 0x0E7C},
    {0x66, 0x0E7E},   {0x68, 0x0E89}, {0x69, 0x0E8A}, {0x6B, 0x0E91}, {0x6D, 0x0E99},
    {0x6F, 0x0E9F},   {0x71, 0x0EA2}, {0x73, 0x0EA4}, {0x75, 0x0EA6}, {0x76, 0x0EA7},
    {0x78, kUnknown},
}};

constexpr Codes digitCodes(int d) {
    // The newer order skips one code between 0 and 1.
    return {static_cast<std::uint16_t>(0x36 + 2 * d),
            static_cast<std::uint16_t>(d == 0 ? 0x0D17 : 0x0D18 + d)};
}

constexpr char kFirst = ' ';
constexpr char kLast = '~';

constexpr std::array<Codes, kLast - kFirst + 1> codeTable() {
    std::array<Codes, kLast - kFirst + 1> table{};
    for (const auto& p : kPunctuation) table[static_cast<std::size_t>(p.c - kFirst)] = p.codes;
    for (int d = 0; d < 10; ++d) table[static_cast<std::size_t>('0' + d - kFirst)] = digitCodes(d);
    for (int l = 0; l < 26; ++l) {
        table[static_cast<std::size_t>('A' + l - kFirst)] = kLetters[static_cast<std::size_t>(l)];
        table[static_cast<std::size_t>('a' + l - kFirst)] = kLetters[static_cast<std::size_t>(l)];
    }
    return table;
}

constexpr auto kCodes = codeTable();

// The mark of a character the codes leave out.
std::uint8_t markOf(char c) { return c == '\'' ? 0x80 : 0x82; }

}  // namespace

std::optional<TextOrder> generalTextOrder(std::uint16_t sortOrder, std::uint8_t version) {
    if (sortOrder != kGeneralSortOrder) return std::nullopt;
    if (version == 0) return TextOrder::GeneralLegacy;
    if (version == 1) return TextOrder::General;
    return std::nullopt;
}

const char* placeableCharacters(TextOrder order) {
    return order == TextOrder::General
               ? "the letters A to Y, digits, spaces, hyphens, periods and underscores with no "
                 "trailing space"
               : "printable ASCII with no trailing space";
}

std::optional<std::vector<std::uint8_t>> encodeTextKey(std::string_view text, TextOrder order,
                                                       bool ascending) {
    // Keys leave trailing spaces out, as the format is described, but no key Access wrote for
    // such a text has been seen.
    if (!text.empty() && text.back() == ' ') return std::nullopt;
    if (text.size() > kMaxKeyTextLength) return std::nullopt;
    std::vector<std::uint8_t> key;
    key.reserve(2 * text.size() + 2);
    std::vector<std::uint8_t> marks;
    std::size_t coded = 0;
    for (const char c : text) {
        // Bytes of UTF-8 sequences are all above '~'.
        if (c < kFirst || c > kLast) return std::nullopt;
        const Codes& codes = kCodes[static_cast<std::size_t>(c - kFirst)];
        const std::uint16_t code = order == TextOrder::General ? codes.general : codes.legacy;
        if (code == kUnknown) return std::nullopt;
        if (code == kLeftOut) {
            const auto position = static_cast<std::uint16_t>(0x8000 | (7 + 4 * coded));
            marks.insert(marks.end(),
                         {static_cast<std::uint8_t>(position >> 8),
                          static_cast<std::uint8_t>(position), kMarkSeparator, markOf(c)});
            continue;
        }
        if (code > 0xFF) key.push_back(static_cast<std::uint8_t>(code >> 8));
        key.push_back(static_cast<std::uint8_t>(code));
        ++coded;
    }
    key.push_back(kEndOfCodes);
    if (!marks.empty()) {
        key.insert(key.end(), {kEndOfCodes, kEndOfCodes, kEndOfCodes});
        key.insert(key.end(), marks.begin(), marks.end());
    }
    key.push_back(kEndOfKey);
    // A descending key inverts all of this and ends with one more (uninverted) end byte.
    if (!ascending) {
        for (auto& b : key) b = static_cast<std::uint8_t>(~b);
        key.push_back(kEndOfKey);
    }
    return key;
}

}  // namespace jet::index
