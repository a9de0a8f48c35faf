// Text as Access stores it, to UTF-8: UTF-16LE with Access's compression (Jet 4 and later) and
// the Windows code pages of Jet 3 (through glibc's iconv).
#include "jet/base/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "jet/base/error.h"
#include "jet/base/utf8.h"

namespace jet {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// UTF-16 code units in, UTF-8 out. A high surrogate waits for the next unit; one that is not
// followed by a low surrogate, and a lone low surrogate, become U+FFFD.
class Utf16ToUtf8 {
public:
    explicit Utf16ToUtf8(std::size_t expectedUnits) { out_.reserve(expectedUnits); }

    void push(char16_t unit) {
        if (pendingHigh_ != 0) {
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                appendUtf8(out_,
                           0x10000 + ((char32_t{pendingHigh_} - 0xD800) << 10) + (unit - 0xDC00));
                pendingHigh_ = 0;
                return;
            }
            out_ += kReplacement;
            pendingHigh_ = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            pendingHigh_ = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            out_ += kReplacement;
        } else {
            appendUtf8(out_, unit);
        }
    }

    std::string finish() {
        if (pendingHigh_ != 0) out_ += kReplacement;
        pendingHigh_ = 0;
        return std::move(out_);
    }

private:
    std::string out_;
    char16_t pendingHigh_ = 0;
};

// Owns an iconv descriptor that converts one Windows code page to UTF-8, or back.
class CodePageConverter {
public:
    explicit CodePageConverter(std::uint16_t codePage, bool toCodePage = false) {
        // glibc knows most Windows code pages as CPnnnn, a few only as WINDOWS-nnn.
        for (const char* prefix : {"CP", "WINDOWS-"}) {
            const std::string name = prefix + std::to_string(codePage);
            cd_ =
                toCodePage ? iconv_open(name.c_str(), "UTF-8") : iconv_open("UTF-8", name.c_str());
            if (cd_ != kInvalid) return;
        }
        throw Error(ErrorCode::Unsupported, "Text in code page " + std::to_string(codePage) +
                                                " cannot be read: the code page is unknown");
    }
    ~CodePageConverter() { iconv_close(cd_); }
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;
    iconv_t get() const { return cd_; }

private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_ = kInvalid;
};

// One converter per code page and direction for each thread, opened on first use: a table of
// Access 97 text would otherwise open one for every value. Each use starts by resetting it.
const CodePageConverter& converterFor(std::uint16_t codePage, bool toCodePage) {
    thread_local std::map<std::pair<std::uint16_t, bool>, std::unique_ptr<CodePageConverter>> open;
    auto& converter = open[{codePage, toCodePage}];
    if (!converter) converter = std::make_unique<CodePageConverter>(codePage, toCodePage);
    return *converter;
}

// The five bytes that Windows' code page 1252 reads as the C1 controls of the same number and
// iconv's does not know.
bool isWindows1252Only(char32_t c) {
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

// One character, UTF-8 to the code page; nullopt when the code page has no byte for it.
std::optional<std::vector<std::uint8_t>> convertToCodePage(const CodePageConverter& converter,
                                                           std::string_view text) {
    std::vector<std::uint8_t> out(text.size() * 4 + 16);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* dst = reinterpret_cast<char*>(out.data());
    std::size_t dstLeft = out.size();
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter.get(), &in, &inLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) ||
        iconv(converter.get(), nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace

namespace {

// A character for a message: 'Ł' (U+0141), or only its number where it would not show.
std::string describeCharacter(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xFFFD) return code;
    std::string shown;
    appendUtf8(shown, c);
    return "'" + shown + "' (" + code + ")";
}

// Why `text` cannot go in Jet 3 text in `codePage`.
std::string unheldCharacterReason(std::string_view text, char32_t unheld, std::uint16_t codePage) {
    if (!isUtf8(text)) return "bytes that are not valid UTF-8";
    return "the character " + describeCharacter(unheld) + ", which code page " +
           std::to_string(codePage == 0 ? 1252 : codePage) +
           " of this Access 97 database cannot hold";
}

// The bytes, or nullopt with `unheld` naming the first character that does not go there and back.
std::optional<std::vector<std::uint8_t>> tryEncodeCodePageText(std::string_view text,
                                                               std::uint16_t codePage,
                                                               char32_t& unheld) {
    const CodePageConverter& converter = converterFor(codePage, true);
    if (auto bytes = convertToCodePage(converter, text); bytes && isUtf8(text)) {
        // A code page may hold a character only as another (a best fit); the text must read
        // back as itself.
        if (decodeCodePageText(*bytes, codePage) == text) return bytes;
    }
    // Character by character: Windows' own bytes of code page 1252 that iconv lacks, and the
    // first character that does not go there and back.
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        unheld = nextCodePoint(text, i);
        if (codePage == 1252 && isWindows1252Only(unheld)) {
            out.push_back(static_cast<std::uint8_t>(unheld));
            continue;
        }
        const std::string_view one = text.substr(start, i - start);
        const auto bytes = convertToCodePage(converter, one);
        if (!bytes || decodeCodePageText(*bytes, codePage) != one) return std::nullopt;
        out.insert(out.end(), bytes->begin(), bytes->end());
    }
    if (decodeCodePageText(out, codePage) == text) return out;
    // Each character goes alone but not in this order (a code page that combines characters).
    std::size_t first = 0;
    unheld = text.empty() ? 0 : nextCodePoint(text, first);
    return std::nullopt;
}

}  // namespace

std::vector<std::uint8_t> encodeCodePageText(std::string_view text, std::uint16_t codePage,
                                             ErrorCode code, const std::string& subject) {
    if (codePage == 0) codePage = 1252;
    char32_t unheld = 0;
    auto bytes = tryEncodeCodePageText(text, codePage, unheld);
    if (!bytes) {
        throw Error(code,
                    subject + " holds " + unheldCharacterReason(text, unheld, codePage) + ".");
    }
    return std::move(*bytes);
}

std::string decodeUnicodeText(ByteSpan bytes) {
    const std::size_t n = bytes.size();
    if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        // Access's compression: after the FF FE marker the text starts with one byte per
        // character (the high byte is 0). A 00 byte switches between that and plain UTF-16LE.
        // In UTF-16 mode the switch is only recognised where a code unit would start: Access
        // refuses to compress text holding a character whose low byte is 00, so no unit starts
        // with 00, while a unit may well end with one (e.g. 'a' as 61 00).
        Utf16ToUtf8 out(n);
        bool oneByte = true;
        std::size_t pos = 2;
        while (pos < n) {
            if (bytes[pos] == 0x00) {
                oneByte = !oneByte;
                ++pos;
            } else if (oneByte) {
                out.push(bytes[pos]);
                ++pos;
            } else if (n - pos >= 2) {
                out.push(static_cast<char16_t>(bytes[pos] | (bytes[pos + 1] << 8)));
                pos += 2;
            } else {
                break;  // half a code unit at the end carries no character
            }
        }
        return out.finish();
    }
    Utf16ToUtf8 out(n);
    for (std::size_t pos = 0; pos + 1 < n; pos += 2) {
        out.push(static_cast<char16_t>(bytes[pos] | (bytes[pos + 1] << 8)));
    }
    return out.finish();
}

std::string decodeCodePageText(ByteSpan bytes, std::uint16_t codePage) {
    if (codePage == 0) codePage = 1252;
    const CodePageConverter& converter = converterFor(codePage, false);
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);

    std::string out;
    // Every code page Jet uses yields at most 3 UTF-8 bytes per input byte; a little slack covers
    // the final flush and the replacement characters.
    out.resize(bytes.size() * 3 + 16);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();

    auto grow = [&](std::size_t extra) {
        const std::size_t used = out.size() - dstLeft;
        out.resize(out.size() + extra);
        dst = out.data() + used;
        dstLeft = out.size() - used;
    };
    auto substitute = [&] {
        // Emit whatever the converter holds back (combining sequences) before the marker.
        if (dstLeft < 64) grow(64);
        iconv(converter.get(), nullptr, nullptr, &dst, &dstLeft);
        for (std::size_t i = 0; i + 1 < sizeof kReplacement; ++i) *dst++ = kReplacement[i];
        dstLeft -= sizeof kReplacement - 1;
    };

    while (inLeft > 0) {
        if (iconv(converter.get(), &in, &inLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            grow(inLeft * 3 + 64);
        } else if (errno == EILSEQ) {
            if (codePage == 1252 && isWindows1252Only(static_cast<unsigned char>(*in))) {
                if (dstLeft < 64) grow(64);
                std::string c1;
                appendUtf8(c1, static_cast<unsigned char>(*in));
                for (const char b : c1) *dst++ = b;
                dstLeft -= c1.size();
            } else {
                substitute();
            }
            ++in;
            --inLeft;
        } else {
            // EINVAL: the text ends inside a multi-byte character.
            substitute();
            break;
        }
    }
    while (iconv(converter.get(), nullptr, nullptr, &dst, &dstLeft) ==
               static_cast<std::size_t>(-1) &&
           errno == E2BIG) {
        grow(64);
    }
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace jet
