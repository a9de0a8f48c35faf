#include "cli/value_text.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "jet/base/overloaded.h"

namespace cli {
namespace {

std::string floating(double d, const std::string& text) {
    // JSON has no NaN or infinity; Access cannot hold them either, so they never appear in
    // files it wrote.
    return std::isfinite(d) ? text : "null";
}

}  // namespace

std::string jsonString(const std::string& s) {
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string toDumpJson(const jet::Value& v) {
    return std::visit(jet::Overloaded{
                          [](const jet::Null&) -> std::string { return "null"; },
                          [](bool b) -> std::string { return b ? "true" : "false"; },
                          [](std::uint8_t x) { return std::to_string(x); },
                          [](std::int16_t x) { return std::to_string(x); },
                          [](std::int32_t x) { return std::to_string(x); },
                          [](std::int64_t x) { return "\"" + std::to_string(x) + "\""; },
                          [](jet::Currency x) { return "\"" + jet::formatCurrency(x) + "\""; },
                          [](float x) { return floating(x, jet::formatSingle(x)); },
                          [](double x) { return floating(x, jet::formatDouble(x)); },
                          [](jet::DateTime x) { return jsonString(jet::formatDateTime(x)); },
                          [](const jet::DateTimeExtended& x) {
                              return jsonString(jet::formatDateTimeExtended(x));
                          },
                          [](const jet::Decimal& x) { return "\"" + jet::formatDecimal(x) + "\""; },
                          [](const jet::Guid& x) { return "\"" + jet::formatGuid(x) + "\""; },
                          [](jet::ComplexId x) { return std::to_string(x.id); },
                          [](const std::string& s) { return jsonString(s); },
                          [](const jet::Bytes& b) { return "\"" + jet::formatHex(b) + "\""; },
                      },
                      v);
}

std::string toCellText(const jet::Value& v) {
    return std::visit(
        jet::Overloaded{
            [](const jet::Null&) -> std::string { return ""; },
            [](bool b) -> std::string { return b ? "true" : "false"; },
            [](std::uint8_t x) { return std::to_string(x); },
            [](std::int16_t x) { return std::to_string(x); },
            [](std::int32_t x) { return std::to_string(x); },
            [](std::int64_t x) { return std::to_string(x); },
            [](jet::Currency x) { return jet::formatCurrency(x); },
            [](float x) { return jet::formatSingle(x); },
            [](double x) { return jet::formatDouble(x); },
            [](jet::DateTime x) { return jet::formatDateTime(x); },
            [](const jet::DateTimeExtended& x) { return jet::formatDateTimeExtended(x); },
            [](const jet::Decimal& x) { return jet::formatDecimal(x); },
            [](const jet::Guid& x) { return jet::formatGuid(x); },
            [](jet::ComplexId x) { return std::to_string(x.id); },
            [](const std::string& s) { return s; },
            [](const jet::Bytes& b) { return jet::formatHex(b); },
        },
        v);
}

std::string grouped(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace cli
