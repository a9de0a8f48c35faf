#include "jet/format/sort_orders.h"

#include <algorithm>
#include <array>
#include <utility>

namespace jet {
namespace {

// The orders Access offers for a new database, by the locale that names each; a name is given
// only where the locale leaves no doubt which order it is.
constexpr std::array<std::pair<std::uint16_t, const char*>, 27> kOrders{{
    {1025, "Arabic"},
    {1028, "Chinese (Taiwan) Stroke Count"},
    {1029, "Czech"},
    {1030, "Danish, Norwegian"},
    {1032, "Greek"},
    {1033, "General"},
    {1034, "Traditional Spanish"},
    {1037, "Hebrew"},
    {1038, "Hungarian"},
    {1039, "Icelandic"},
    {1041, "Japanese"},
    {1042, "Korean"},
    {1045, "Polish"},
    {1048, "Romanian"},
    {1049, "Cyrillic"},
    {1050, "Croatian"},
    {1051, "Slovak"},
    {1053, "Swedish/Finnish"},
    {1054, "Thai"},
    {1055, "Turkish"},
    {1058, "Ukrainian"},
    {1060, "Slovenian"},
    {1061, "Estonian"},
    {1062, "Latvian"},
    {1063, "Lithuanian"},
    {2052, "Chinese (PRC) Pinyin"},
    {3082, "Spanish"},
}};

}  // namespace

std::string sortOrderName(std::uint16_t sortOrder) {
    const auto it = std::lower_bound(kOrders.begin(), kOrders.end(), sortOrder,
                                     [](const std::pair<std::uint16_t, const char*>& o,
                                        std::uint16_t n) { return o.first < n; });
    return it != kOrders.end() && it->first == sortOrder ? it->second : "";
}

std::string describeSortOrder(std::uint16_t sortOrder) {
    const std::string name = sortOrderName(sortOrder);
    return "sort order " + std::to_string(sortOrder) + (name.empty() ? "" : " (" + name + ")");
}

}  // namespace jet
