// The parser of Access SQL: statement text in, syntax tree out (ast.h). Recursive descent for
// statements, precedence climbing for expressions, with Access's operator precedence.
#pragma once

#include <string_view>

#include "jet/sql/ast.h"

namespace jet::sql {

// Parses one statement, optionally followed by ";"; anything after it is a syntax error.
// Throws jet::Error(SyntaxError) naming what was expected and quoting the text at the fault;
// jet::Error(Unsupported) for a statement kind Access has but this parser does not read yet
// (CREATE, DROP).
ast::Statement parseStatement(std::string_view statement);

// Parses a whole text as one expression, e.g. the expression of a calculated column.
ast::ExprPtr parseExpression(std::string_view expression);

// Parses a field's validation rule: an expression whose conditions may leave out the left side
// of their comparison ("> 0", "Between 1 And 9", "Is Null Or >= 0", "Not Like 'A*'"). Each
// left-out side is a ColumnRef with an empty name and no length, standing for the field; what a
// condition without a comparison (the 0 of "0 Or > 100") means is the caller's business.
ast::ExprPtr parseFieldRule(std::string_view rule);

}  // namespace jet::sql
