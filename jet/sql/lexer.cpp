#include "jet/sql/lexer.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <utility>

#include "jet/sql/syntax_error.h"

namespace jet::sql {

namespace {

constexpr std::string_view kLead = "Syntax error";

struct KeywordSpelling {
    std::string_view text;
    Keyword keyword;
};

constexpr std::array<KeywordSpelling, 31> kKeywords{{
    {"ADD", Keyword::Add},
    {"ALTER", Keyword::Alter},
    {"AND", Keyword::And},
    {"AS", Keyword::As},
    {"BETWEEN", Keyword::Between},
    {"COLUMN", Keyword::Column},
    {"CONSTRAINT", Keyword::Constraint},
    {"CREATE", Keyword::Create},
    {"DELETE", Keyword::Delete},
    {"DROP", Keyword::Drop},
    {"EQV", Keyword::Eqv},
    {"FALSE", Keyword::False},
    {"FROM", Keyword::From},
    {"IMP", Keyword::Imp},
    {"IN", Keyword::In},
    {"INSERT", Keyword::Insert},
    {"INTO", Keyword::Into},
    {"IS", Keyword::Is},
    {"LIKE", Keyword::Like},
    {"MOD", Keyword::Mod},
    {"NOT", Keyword::Not},
    {"NULL", Keyword::Null},
    {"OR", Keyword::Or},
    {"SELECT", Keyword::Select},
    {"SET", Keyword::Set},
    {"TABLE", Keyword::Table},
    {"TRUE", Keyword::True},
    {"UPDATE", Keyword::Update},
    {"VALUES", Keyword::Values},
    {"WHERE", Keyword::Where},
    {"XOR", Keyword::Xor},
}};

// Two-character operators first, so that "<>" is not read as "<" and ">".
constexpr std::array<std::pair<std::string_view, TokenKind>, 18> kSymbols{{
    {"<>", TokenKind::NotEqual},
    {"<=", TokenKind::LessEqual},
    {">=", TokenKind::GreaterEqual},
    {"+", TokenKind::Plus},
    {"-", TokenKind::Minus},
    {"*", TokenKind::Star},
    {"/", TokenKind::Slash},
    {"\\", TokenKind::Backslash},
    {"^", TokenKind::Caret},
    {"&", TokenKind::Ampersand},
    {"=", TokenKind::Equal},
    {"<", TokenKind::Less},
    {">", TokenKind::Greater},
    {"(", TokenKind::LeftParen},
    {")", TokenKind::RightParen},
    {",", TokenKind::Comma},
    {";", TokenKind::Semicolon},
    {".", TokenKind::Dot},
}};

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

Keyword lookupKeyword(std::string_view word) {
    for (const auto& k : kKeywords) {
        if (k.text.size() != word.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < word.size() && same; ++i) same = upper(word[i]) == k.text[i];
        if (same) return k.keyword;
    }
    return Keyword::None;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Bytes from 0x80 up are parts of non-ASCII UTF-8 characters; Access allows letters of any
// script in names, and the lexer need not decide which of those are letters.
bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isNamePart(char c) { return isNameStart(c) || isDigit(c); }

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

}  // namespace

Token Lexer::next() {
    while (pos_ < s_.size() && isBlank(s_[pos_])) ++pos_;
    Token t;
    t.offset = pos_;
    if (pos_ >= s_.size()) {
        t.kind = TokenKind::End;
        return t;
    }
    const char c = s_[pos_];
    if (isNameStart(c)) {
        word(t);
    } else if (isDigit(c) || (c == '.' && startsFraction())) {
        number(t);
    } else if (c == '[') {
        delimitedName(t, TokenKind::BracketedName, ']');
    } else if (c == '`') {
        delimitedName(t, TokenKind::BackquotedName, '`');
    } else if (c == '\'' || c == '"') {
        string(t, c);
    } else if (c == '#') {
        date(t);
    } else {
        symbol(t);
    }
    t.source = s_.substr(t.offset, pos_ - t.offset);
    afterName_ = t.isName();
    return t;
}

// ".5" is a number, but in "[Orders].[5]" or "T.5" the dot joins two names.
bool Lexer::startsFraction() const {
    return pos_ + 1 < s_.size() && isDigit(s_[pos_ + 1]) && !afterName_;
}

void Lexer::word(Token& t) {
    while (pos_ < s_.size() && isNamePart(s_[pos_])) ++pos_;
    t.text = std::string(s_.substr(t.offset, pos_ - t.offset));
    t.keyword = lookupKeyword(t.text);
    t.kind = t.keyword == Keyword::None ? TokenKind::Identifier : TokenKind::Keyword;
}

void Lexer::number(Token& t) {
    bool isDouble = false;
    while (pos_ < s_.size() && isDigit(s_[pos_])) ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '.') {
        isDouble = true;
        ++pos_;
        while (pos_ < s_.size() && isDigit(s_[pos_])) ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
        isDouble = true;
        ++pos_;
        if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
        const std::size_t digits = pos_;
        while (pos_ < s_.size() && isDigit(s_[pos_])) ++pos_;
        if (pos_ == digits) malformedNumber(t.offset);
    }
    // "12abc" or "1.5.2" is a typo, not a number followed by a name.
    if (pos_ < s_.size() && (isNamePart(s_[pos_]) || s_[pos_] == '.')) {
        malformedNumber(t.offset);
    }
    t.kind = TokenKind::Number;
    t.text = std::string(s_.substr(t.offset, pos_ - t.offset));
    const char* first = t.text.data();
    const char* last = first + t.text.size();
    if (!isDouble) {
        std::int64_t whole = 0;
        const auto [end, ec] = std::from_chars(first, last, whole);
        if (ec == std::errc() && end == last && whole <= INT32_MAX) {
            t.number = static_cast<std::int32_t>(whole);
            return;
        }
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last) {
        throwSyntaxError(s_, t.offset, kLead,
                         "the number '" + t.text + "' is outside the range of a Double");
    }
    t.number = value;
}

void Lexer::malformedNumber(std::size_t start) const {
    std::size_t end = pos_;
    while (end < s_.size() && (isNamePart(s_[end]) || s_[end] == '.')) ++end;
    throwSyntaxError(s_, start, kLead,
                     "malformed number '" + std::string(s_.substr(start, end - start)) + "'");
}

// Inside [..] and `..` every character but the closing one is part of the name, blanks and
// punctuation included; there is no escape for the closing character.
void Lexer::delimitedName(Token& t, TokenKind kind, char close) {
    const std::size_t end = s_.find(close, pos_ + 1);
    if (end == std::string_view::npos) {
        throwSyntaxError(s_, t.offset, kLead,
                         std::string("the name that starts with '") + s_[pos_] +
                             "' has no closing '" + close + "'");
    }
    t.kind = kind;
    t.text = std::string(s_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
}

void Lexer::string(Token& t, char quote) {
    t.kind = TokenKind::String;
    ++pos_;
    for (;;) {
        const std::size_t end = s_.find(quote, pos_);
        if (end == std::string_view::npos) {
            throwSyntaxError(
                s_, t.offset, kLead,
                std::string("the text that starts with ") + quote + " has no closing " + quote);
        }
        t.text += s_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (pos_ < s_.size() && s_[pos_] == quote) {
            t.text += quote;  // a doubled quote stands for one
            ++pos_;
        } else {
            return;
        }
    }
}

void Lexer::date(Token& t) {
    const std::size_t end = s_.find('#', pos_ + 1);
    if (end == std::string_view::npos) {
        throwSyntaxError(s_, t.offset, kLead, "the date that starts with '#' has no closing '#'");
    }
    t.kind = TokenKind::Date;
    t.text = std::string(s_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
}

void Lexer::symbol(Token& t) {
    const std::string_view rest = s_.substr(pos_);
    for (const auto& [spelling, kind] : kSymbols) {
        if (rest.starts_with(spelling)) {
            t.kind = kind;
            pos_ += spelling.size();
            return;
        }
    }
    const char c = s_[pos_];
    if (c == ']') throwSyntaxError(s_, pos_, kLead, "']' without an opening '['");
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        throwSyntaxError(s_, pos_, kLead,
                         "unexpected control character " + std::to_string(static_cast<int>(c)));
    }
    throwSyntaxError(s_, pos_, kLead, std::string("unexpected character '") + c + "'");
}

const char* keywordText(Keyword keyword) {
    for (const auto& k : kKeywords) {
        if (k.keyword == keyword) return k.text.data();
    }
    return "";
}

std::vector<Token> tokenize(std::string_view statement) {
    Lexer lexer(statement);
    std::vector<Token> tokens;
    do {
        tokens.push_back(lexer.next());
    } while (!tokens.back().is(TokenKind::End));
    return tokens;
}

}  // namespace jet::sql
