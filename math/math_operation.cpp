#include "math/math_operation.h"

namespace app {

std::optional<MathOperation> mathOperationAt(int listIndex) {
    if (listIndex < 0 || listIndex > 3) return std::nullopt;
    return static_cast<MathOperation>(listIndex);
}

const char* constantOperatorText(MathOperation operation) {
    static constexpr std::array<const char*, 4> texts = {" + ", " - ", " * ", " / "};
    return texts[static_cast<int>(operation)];
}

const char* fieldOperatorText(MathOperation operation) {
    static constexpr std::array<const char*, 4> texts = {" + [", " - [", " * [", " / ["};
    return texts[static_cast<int>(operation)];
}

const char* symbolText(MathOperation operation) {
    static constexpr std::array<const char*, 4> texts = {"+", "-", "*", "/"};
    return texts[static_cast<int>(operation)];
}

std::vector<std::string> fieldItems(const std::string& list) {
    std::vector<std::string> items;
    if (list.empty()) return items;
    std::string::size_type start = 0;
    for (auto comma = list.find(", "); comma != std::string::npos; comma = list.find(", ", start)) {
        items.push_back(list.substr(start, comma - start));
        start = comma + 2;
    }
    items.push_back(list.substr(start));
    return items;
}

std::string previewQuery(const std::string& table) { return "SELECT * FROM [" + table + "];"; }

std::string refreshQuery(const std::string& table) { return "SELECT * FROM `" + table + "`;"; }

}  // namespace app
