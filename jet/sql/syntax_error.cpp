#include "jet/sql/syntax_error.h"

#include <algorithm>

#include "jet/base/error.h"

namespace jet::sql {

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t characterNumber(std::string_view statement, std::size_t offset) {
    const auto head = statement.substr(0, offset);
    return 1 + static_cast<std::size_t>(std::count_if(
                   head.begin(), head.end(), [](char c) { return !isContinuationByte(c); }));
}

// The last few characters before the end, so a fault at the end still shows where it is.
std::string tail(std::string_view statement, std::size_t maxBytes) {
    std::size_t start = statement.size() > maxBytes ? statement.size() - maxBytes : 0;
    while (start < statement.size() && isContinuationByte(statement[start])) ++start;
    return (start > 0 ? "..." : "") + std::string(statement.substr(start));
}

}  // namespace

std::string excerpt(std::string_view statement, std::size_t offset, std::size_t maxBytes) {
    const auto rest = statement.substr(std::min(offset, statement.size()));
    if (rest.size() <= maxBytes) return std::string(rest);
    std::size_t end = maxBytes;
    while (end > 0 && isContinuationByte(rest[end])) --end;
    return std::string(rest.substr(0, end)) + "...";
}

void throwSyntaxError(std::string_view statement, std::size_t offset, std::string_view lead,
                      std::string_view problem) {
    std::string description(lead);
    description += ": ";
    description += problem;
    // Trailing blanks are no place to point at: a fault there is a fault at the end.
    const auto meaningfulEnd = statement.find_last_not_of(" \t\r\n\f\v");
    if (meaningfulEnd == std::string_view::npos || offset > meaningfulEnd) {
        description += " at the end of the statement";
        const auto trimmed =
            statement.substr(0, meaningfulEnd == std::string_view::npos ? 0 : meaningfulEnd + 1);
        if (!trimmed.empty()) description += ", after \"" + tail(trimmed, 24) + "\"";
    } else {
        description += " at character " + std::to_string(characterNumber(statement, offset));
        description += ", near \"" + excerpt(statement, offset) + "\"";
    }
    description += ".";
    throw Error(ErrorCode::SyntaxError, description);
}

}  // namespace jet::sql
