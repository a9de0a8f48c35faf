// How the lexer and the parser report a statement they cannot read: a SyntaxError whose
// description says what was wrong and where, quoting the text at the fault, so that a user who
// typed a field name into a statement can see which part the engine stumbled on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jet::sql {

// Throws jet::Error(SyntaxError) with "<lead>: <problem> at character N, near "...".", or
// "<problem> at the end of the statement, after "..."." when offset is at the end.
// lead is a sentence head such as "Syntax error in FROM clause"; problem says what was
// expected or found. Character positions count UTF-8 characters from 1.
[[noreturn]] void throwSyntaxError(std::string_view statement, std::size_t offset,
                                   std::string_view lead, std::string_view problem);

// The statement text from offset on, cut to a short excerpt on a character boundary; used to
// quote the neighbourhood of a fault or an expression in a description.
std::string excerpt(std::string_view statement, std::size_t offset, std::size_t maxBytes = 24);

}  // namespace jet::sql
