#include "jet/base/names.h"

#include <locale.h>
#include <wctype.h>

#include "jet/base/utf8.h"

namespace jet {
namespace {

locale_t utf8Locale() {
    static const locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    }();
    return loc;
}

}  // namespace

std::string foldName(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, i);
        appendUtf8(out, cp < 0x80 ? static_cast<char32_t>(cp >= 'A' && cp <= 'Z' ? cp + 32 : cp)
                                  : static_cast<char32_t>(
                                        towlower_l(static_cast<wint_t>(cp), utf8Locale())));
    }
    return out;
}

bool namesEqual(std::string_view a, std::string_view b) { return foldName(a) == foldName(b); }

int compareNames(std::string_view a, std::string_view b) {
    return foldName(a).compare(foldName(b));
}

}  // namespace jet
