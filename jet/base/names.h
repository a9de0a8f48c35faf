// Object names compare without regard to case, as Access compares them.
#pragma once

#include <string>
#include <string_view>

namespace jet {

// The name folded to lower case (full Unicode simple case mapping of the C.UTF-8 locale).
std::string foldName(std::string_view utf8);
bool namesEqual(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, on the folded names.
int compareNames(std::string_view a, std::string_view b);

}  // namespace jet
