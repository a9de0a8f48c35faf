// Like patterns with the wildcards of the OLE DB provider the wizard talks through: "%" for any
// run of characters, "_" for one character, "[abc]", "[a-z]" and "[!a-z]" (or "[^a-z]") for one
// character of (or not of) a set; "[%]" matches a literal "%". "*", "?" and "#" are ordinary
// characters. Matching is by character (not byte) and ignores case, as Access compares text.
//
// Validation rules are Access's own expressions, not the provider's, and take Access's
// wildcards instead: "*" for any run, "?" for one character, "#" for one digit, "[a-z]" and
// "[!a-z]" for sets ("^" is an ordinary member there); "%" and "_" are ordinary characters.
// "[]" matches nothing (no character is taken). A pattern Access calls invalid (a "[" never
// closed, a range from high to low) is a ValueFault, not a guess.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace jet::values {

enum class LikeWildcards { OleDb, Access };

class LikePattern {
public:
    explicit LikePattern(std::string_view pattern, LikeWildcards wildcards = LikeWildcards::OleDb);
    bool matches(std::string_view text) const;

private:
    enum class Kind { Literal, AnyOne, AnyRun, Set };
    void readOleDb(const std::u32string& p);
    void readAccess(const std::u32string& p);
    struct Range {
        char32_t first;
        char32_t last;
    };
    struct Token {
        Kind kind = Kind::Literal;
        char32_t literal = 0;
        bool negated = false;
        std::vector<Range> ranges;
    };
    static Token token(Kind kind, char32_t literal = 0) {
        Token t;
        t.kind = kind;
        t.literal = literal;
        return t;
    }
    bool accepts(const Token& t, char32_t c) const;

    std::vector<Token> tokens_;
};

}  // namespace jet::values
