#include "tavro/surfaces/TavroWebText.h"

#include <cctype>

#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

// Quotes, brackets and punctuation people put around an address: " ' “ ” 「 」 < > . ,
constexpr std::string_view kSurrounding = "\"'\u201C\u201D\u300C\u300D<>.,";

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool isAsciiAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Characters that never appear unencoded in an address.
bool isForbidden(unsigned char c) {
    if (c < 0x20 || c == 0x7F || c == ' ') return true;
    switch (c) {
        case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
            return true;
        default:
            return false;
    }
}

// Every "%" is followed by two hexadecimal digits and no forbidden character appears.
bool wellFormed(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (isForbidden(c)) return false;
        if (c == '%' && (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2]))) return false;
    }
    return true;
}

bool validHostChar(unsigned char c) {
    if (c >= 0x80) return true;  // international names
    if (isAsciiAlnum(static_cast<char>(c))) return true;
    switch (c) {
        case '-': case '.': case '_': case '~': case '%': case '!': case '$': case '&': case '\'':
        case '(': case ')': case '*': case '+': case ',': case ';': case '=':
            return true;
        default:
            return false;
    }
}

// The host of an absolute address "scheme://[user@]host[:port][/path][?query][#fragment]", or
// nothing when the address does not parse.
std::optional<std::string_view> hostOf(std::string_view address) {
    if (!wellFormed(address)) return std::nullopt;
    std::size_t i = 0;
    if (address.empty() || !std::isalpha(static_cast<unsigned char>(address[0]))) return std::nullopt;
    while (i < address.size() && (isAsciiAlnum(address[i]) || address[i] == '+' || address[i] == '-' || address[i] == '.'))
        ++i;
    if (i >= address.size() || address[i] != ':') return std::nullopt;
    auto rest = address.substr(i + 1);
    if (!rest.starts_with("//")) return std::nullopt;
    rest.remove_prefix(2);
    auto authority = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::string_view host = authority;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(0, close + 1);
        auto after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return std::nullopt;
        for (std::size_t k = 1; k < after.size(); ++k)
            if (!std::isdigit(static_cast<unsigned char>(after[k]))) return std::nullopt;
        return host;
    }
    if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        for (const char c : authority.substr(colon + 1))
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    if (host.empty()) return std::nullopt;
    for (const char c : host)
        if (!validHostChar(static_cast<unsigned char>(c))) return std::nullopt;
    return host;
}

}  // namespace

std::optional<std::string> TavroWebText::url(std::string_view typed) {
    // White space and the surrounding characters are trimmed together, in any mix.
    std::string text(typed);
    for (;;) {
        auto next = TavroText::trim(TavroText::trim(text), kSurrounding);
        if (next == text) break;
        text = std::move(next);
    }
    if (text.empty() || TavroText::matches("\\s", text)) return std::nullopt;
    std::string address = text;
    const bool hasScheme = text.size() >= 4 && TavroText::lower(std::string_view(text).substr(0, 4)) == "http";
    if (!hasScheme) address = "https://" + text;
    const auto host = hostOf(address);
    if (!host || host->find('.') == std::string_view::npos) return std::nullopt;
    return address;
}

}  // namespace tavro
