// The names of the sort orders a Text field can be stored in, for messages. A text column's
// definition names its order by a Windows locale number (1033 for the General order, 1053 for
// Swedish/Finnish, ...) and a version.
#pragma once

#include <cstdint>
#include <string>

namespace jet {

// "General", "Swedish/Finnish", ...; empty for a number not known here.
std::string sortOrderName(std::uint16_t sortOrder);

// "sort order 1053 (Swedish/Finnish)", or "sort order 9999" for one not known here.
std::string describeSortOrder(std::uint16_t sortOrder);

}  // namespace jet
