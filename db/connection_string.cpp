#include "db/connection_string.h"

#include <algorithm>

#include "core/failure.h"
#include "db/ascii.h"
#include "db/failures.h"

namespace db {
namespace {

constexpr std::string_view kProviderKey = "provider";
constexpr std::string_view kDataSourceKey = "data source";
constexpr std::string_view kPasswordKey = "jet oledb:database password";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

[[noreturn]] void cannotRead(const std::string& why) {
    throw app::Failure(kBadConnectionString, "The connection string cannot be read: " + why + ".");
}

// One pass over the text. Once the password's setting has begun, whatever goes wrong may be
// the password itself running on past a ';', so from there on nothing of the text is quoted
// back.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    ConnectionSettings read() {
        ConnectionSettings settings;
        while (skipSeparators()) {
            const std::string key = readKey();
            std::string value = readValue(key);
            if (key == kProviderKey) {
                settings.provider = std::move(value);
            } else if (key == kDataSourceKey) {
                settings.dataSource = std::move(value);
            } else if (key == kPasswordKey) {
                settings.password = std::move(value);
            } else {
                fault("'" + key + "' is not a setting the provider knows");
            }
        }
        return settings;
    }

private:
    bool skipSeparators() {
        while (pos_ < text_.size() && (isBlank(text_[pos_]) || text_[pos_] == ';')) ++pos_;
        return pos_ < text_.size();
    }

    // Up to the '='; "==" stands for an '=' inside the key.
    std::string readKey() {
        const std::size_t start = pos_;
        std::string key;
        while (true) {
            if (pos_ == text_.size() || text_[pos_] == ';') {
                fault("'" + std::string(trimmed(text_.substr(start, pos_ - start))) +
                      "' is not a setting of the form name=value");
            }
            if (text_[pos_] == '=') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '=') {
                    key += '=';
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                break;
            }
            key += text_[pos_++];
        }
        key = lowerAscii(trimmed(key));
        if (key.empty()) fault("a setting has no name before its '='");
        return key;
    }

    std::string readValue(const std::string& key) {
        std::size_t look = pos_;
        while (look < text_.size() && isBlank(text_[look])) ++look;
        const bool secret = key == kPasswordKey;
        if (look < text_.size() && (text_[look] == '"' || text_[look] == '\'')) {
            pos_ = look;
            return readQuoted(key, secret);
        }
        const std::size_t end = std::min(text_.find(';', pos_), text_.size());
        std::string value(text_.substr(pos_, end - pos_));
        pos_ = end;
        if (secret) passwordBegun_ = true;
        return value;
    }

    std::string readQuoted(const std::string& key, bool secret) {
        const char quote = text_[pos_++];
        const std::string whose = secret ? "the database password" : "the value of '" + key + "'";
        std::string value;
        while (true) {
            if (pos_ == text_.size()) fault(whose + " begins with a quote that is not closed");
            const char c = text_[pos_++];
            if (c != quote) {
                value += c;
            } else if (pos_ < text_.size() && text_[pos_] == quote) {
                value += quote;
                ++pos_;
            } else {
                break;
            }
        }
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
        if (pos_ < text_.size() && text_[pos_] != ';') {
            fault("text follows the closing quote of " + whose);
        }
        if (secret) passwordBegun_ = true;
        return value;
    }

    [[noreturn]] void fault(const std::string& why) const {
        if (passwordBegun_) {
            cannotRead(
                "the text after the database password is not a setting; a password that holds "
                "a ';' must be written between quotes");
        }
        cannotRead(why);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool passwordBegun_ = false;
};

}  // namespace

ConnectionSettings parseConnectionString(std::string_view text) { return Reader(text).read(); }

bool isEngineProvider(std::string_view provider) {
    const std::string name = lowerAscii(trimmed(provider));
    return name == "microsoft.jet.oledb.4.0" || name == "microsoft.ace.oledb.12.0";
}

}  // namespace db
