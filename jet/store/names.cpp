#include "jet/store/names.h"

#include "jet/store/utf8.h"

#include <locale.h>
#include <wctype.h>

namespace jet::store {
namespace {

locale_t utf8Locale() {
    static const locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    }();
    return loc;
}

// Decodes one code point; malformed bytes stand for themselves.
char32_t next(std::string_view s, std::size_t& i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
        ++i;
        return c;
    }
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}


}  // namespace

std::string foldName(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const char32_t cp = next(s, i);
        appendUtf8(out, cp < 0x80 ? static_cast<char32_t>(cp >= 'A' && cp <= 'Z' ? cp + 32 : cp)
                              : static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp),
                                                                 utf8Locale())));
    }
    return out;
}

bool namesEqual(std::string_view a, std::string_view b) { return foldName(a) == foldName(b); }

int compareNames(std::string_view a, std::string_view b) {
    return foldName(a).compare(foldName(b));
}

}  // namespace jet::store
