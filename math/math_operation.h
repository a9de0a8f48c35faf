// The vocabulary the three operation windows share: the four operations in the order of every
// window's operation list, the texts each window writes for them, the chosen-field list taken
// apart into field items, and the two queries a window's grid shows.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace app {

enum class MathOperation { Add = 0, Subtract = 1, Multiply = 2, Divide = 3 };

// "Add", "Subtract", "Multiply", "Divide": Combo1's entries, by list index.
inline constexpr std::array<const char*, 4> kMathOperationNames = {"Add", "Subtract", "Multiply",
                                                                   "Divide"};

// The operation of a list index; none for any other index (-1 before the first selection).
std::optional<MathOperation> mathOperationAt(int listIndex);

// Between a field and the constant: " + ", " - ", " * ", " / ".
const char* constantOperatorText(MathOperation operation);
// Between a field and the other field's name, with its opening bracket: " + [", ...
const char* fieldOperatorText(MathOperation operation);
// The new field's expression: "+", "-", "*", "/".
const char* symbolText(MathOperation operation);

// SelectedFieldsList split at every ", ": each item keeps its brackets ("[Price]"). An empty list
// gives no items.
std::vector<std::string> fieldItems(const std::string& selectedFieldsList);

// The grid's query at load (brackets; static cursor, optimistic locking) and after Apply
// (backquotes; keyset cursor, read-only).
std::string previewQuery(const std::string& table);
std::string refreshQuery(const std::string& table);

}  // namespace app
