// The lexer of Access SQL: turns statement text into tokens, each remembering where it starts so
// that a syntax error can point at it. Names keep the spelling they were written with; comparing
// them without regard to case is the business of whoever looks them up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/value.h"

namespace jet::sql {

enum class TokenKind : std::uint8_t {
    End,             // after the last token
    Keyword,         // a reserved word, see Keyword
    Identifier,      // a bare name: Price, Order_Lines
    BracketedName,   // [Unit Price]
    BackquotedName,  // `Unit Price`
    Number,          // 42, 1.5, 2E3, .5
    String,          // 'it''s' or "say ""hi"""
    Date,            // #2021-08-31#
    Plus,
    Minus,
    Star,
    Slash,
    Backslash,
    Caret,
    Ampersand,
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    LeftParen,
    RightParen,
    Comma,
    Semicolon,
    Dot,
};

// Reserved words: a bare word spelled like one of these (in any case) is this keyword, never a
// name; a name that collides must be bracketed, as in Access. Type names such as INT or TEXT are
// deliberately not reserved, so that fields called Text or Date stay usable unbracketed.
enum class Keyword : std::uint8_t {
    None,
    Add,
    Alter,
    And,
    As,
    Between,
    Column,
    Constraint,
    Create,
    Delete,
    Drop,
    Eqv,
    False,
    From,
    Imp,
    In,
    Insert,
    Into,
    Is,
    Like,
    Mod,
    Not,
    Null,
    Or,
    Select,
    Set,
    Table,
    True,
    Update,
    Values,
    Where,
    Xor,
};

// The keyword's spelling in upper case, as messages quote it.
const char* keywordText(Keyword keyword);

struct Token {
    TokenKind kind = TokenKind::End;
    std::size_t offset = 0;   // byte offset of the token's first character in the statement
    std::string_view source;  // the token exactly as written, delimiters included
    // Names: the name without its delimiters. Strings: the content, doubled quotes made single.
    // Dates: the text between the # signs. Numbers: the literal as written.
    std::string text;
    Keyword keyword = Keyword::None;  // for Keyword tokens
    // Numbers: a std::int32_t for whole numbers within Long, otherwise a double (the literal
    // has a decimal point or an exponent, or is too large for Long), as Access types literals.
    Value number;

    bool is(TokenKind k) const { return kind == k; }
    bool is(Keyword k) const { return kind == TokenKind::Keyword && keyword == k; }
    bool isName() const {
        return kind == TokenKind::Identifier || kind == TokenKind::BracketedName ||
               kind == TokenKind::BackquotedName;
    }
};

// Reads a statement one token at a time, so that a parser meets a fault in the order the text
// has it: in "SELECT * FROM [Ord]ers]" the stray "ers" is reported, not the "]" after it.
// Token source views point into the statement, which must outlive them.
class Lexer {
public:
    explicit Lexer(std::string_view statement) : s_(statement) {}

    // The next token; End (at the statement's length) once the text is used up, and again on
    // every later call. Throws jet::Error(SyntaxError) for an unterminated name, string or date,
    // a malformed number or a character that starts no token.
    Token next();

private:
    void word(Token& t);
    void number(Token& t);
    [[noreturn]] void malformedNumber(std::size_t start) const;
    void delimitedName(Token& t, TokenKind kind, char close);
    void string(Token& t, char quote);
    void date(Token& t);
    void symbol(Token& t);
    bool startsFraction() const;

    std::string_view s_;
    std::size_t pos_ = 0;
    bool afterName_ = false;  // the previous token was a name
};

// Splits a whole statement; the last token is End.
std::vector<Token> tokenize(std::string_view statement);

}  // namespace jet::sql
