#include "jet/values/like.h"

#include <cstdint>
#include <string>

#include "jet/values/text_units.h"
#include "jet/values/value_rules.h"

namespace jet::values {

LikePattern::LikePattern(std::string_view pattern, LikeWildcards wildcards) {
    const std::u32string p = decodeUtf8(foldText(pattern));
    if (wildcards == LikeWildcards::Access) {
        readAccess(p);
    } else {
        readOleDb(p);
    }
}

void LikePattern::readOleDb(const std::u32string& p) {
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char32_t c = p[i];
        if (c == U'%') {
            // Runs of "%" are one.
            if (tokens_.empty() || tokens_.back().kind != Kind::AnyRun) {
                tokens_.push_back(token(Kind::AnyRun));
            }
            continue;
        }
        if (c == U'_') {
            tokens_.push_back(token(Kind::AnyOne));
            continue;
        }
        if (c == U'[') {
            std::size_t j = i + 1;
            Token set = token(Kind::Set);
            if (j < p.size() && (p[j] == U'!' || p[j] == U'^')) {
                set.negated = true;
                ++j;
            }
            const std::size_t firstMember = j;
            // A "]" right after the opening is a member, not the end.
            while (j < p.size() && (p[j] != U']' || j == firstMember)) {
                if (j + 2 < p.size() && p[j + 1] == U'-' && p[j + 2] != U']') {
                    set.ranges.push_back(Range{p[j], p[j + 2]});
                    j += 3;
                } else {
                    set.ranges.push_back(Range{p[j], p[j]});
                    ++j;
                }
            }
            if (j < p.size()) {
                tokens_.push_back(std::move(set));
                i = j;
                continue;
            }
            // No closing "]": the "[" is an ordinary character.
        }
        tokens_.push_back(token(Kind::Literal, c));
    }
}

void LikePattern::readAccess(const std::u32string& p) {
    const auto invalid = [](const char* why) {
        throw ValueFault{ErrorCode::TypeMismatch, std::string("invalid pattern string: ") + why};
    };
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char32_t c = p[i];
        if (c == U'*') {
            if (tokens_.empty() || tokens_.back().kind != Kind::AnyRun) {
                tokens_.push_back(token(Kind::AnyRun));
            }
        } else if (c == U'?') {
            tokens_.push_back(token(Kind::AnyOne));
        } else if (c == U'#') {
            Token digit = token(Kind::Set);
            digit.ranges.push_back(Range{U'0', U'9'});
            tokens_.push_back(std::move(digit));
        } else if (c == U'[') {
            std::size_t j = i + 1;
            Token set = token(Kind::Set);
            if (j < p.size() && p[j] == U'!') {
                set.negated = true;
                ++j;
            }
            // Here "]" always closes the set; "-" first or last is a member.
            while (j < p.size() && p[j] != U']') {
                if (j + 2 < p.size() && p[j + 1] == U'-' && p[j + 2] != U']') {
                    if (p[j + 2] < p[j]) invalid("a range runs from high to low");
                    set.ranges.push_back(Range{p[j], p[j + 2]});
                    j += 3;
                } else {
                    set.ranges.push_back(Range{p[j], p[j]});
                    ++j;
                }
            }
            if (j == p.size()) invalid("a '[' is not closed");
            if (set.ranges.empty() && set.negated) invalid("'[!]' names no character");
            // "[]" takes no character at all.
            if (!set.ranges.empty()) tokens_.push_back(std::move(set));
            i = j;
        } else {
            tokens_.push_back(token(Kind::Literal, c));
        }
    }
}

bool LikePattern::accepts(const Token& t, char32_t c) const {
    switch (t.kind) {
        case Kind::Literal:
            return c == t.literal;
        case Kind::AnyOne:
            return true;
        case Kind::Set: {
            bool in = false;
            for (const Range& r : t.ranges) in = in || (c >= r.first && c <= r.last);
            return in != t.negated;
        }
        case Kind::AnyRun:
            break;
    }
    return false;
}

bool LikePattern::matches(std::string_view text) const {
    const std::u32string s = decodeUtf8(foldText(text));
    // Every token but "%" takes exactly one character, so backtracking to the last "%" and
    // letting it take one more character finds a match when there is one.
    std::size_t ti = 0;
    std::size_t si = 0;
    std::size_t starToken = SIZE_MAX;
    std::size_t starText = 0;
    while (si < s.size()) {
        if (ti < tokens_.size() && tokens_[ti].kind == Kind::AnyRun) {
            starToken = ti++;
            starText = si;
        } else if (ti < tokens_.size() && accepts(tokens_[ti], s[si])) {
            ++ti;
            ++si;
        } else if (starToken != SIZE_MAX) {
            ti = starToken + 1;
            si = ++starText;
        } else {
            return false;
        }
    }
    while (ti < tokens_.size() && tokens_[ti].kind == Kind::AnyRun) ++ti;
    return ti == tokens_.size();
}

}  // namespace jet::values
