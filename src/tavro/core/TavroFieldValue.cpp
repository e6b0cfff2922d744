#include "tavro/core/TavroFieldValue.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tavro/core/TavroText.h"

namespace tavro::TavroFieldValue {

namespace {

bool isDigit(UChar32 c) { return c >= '0' && c <= '9'; }

// Bullets and asterisks: what a field shows in place of the characters it hides.
bool isMask(UChar32 c) {
    return c == '*' || c == 0x2022 || c == 0x25CF || c == 0x2217 || c == 0x2219 || c == 0x00B7 || c == 0x25E6 ||
           c == 0xFF0A;
}

bool isMinus(UChar32 c) { return c == '-' || c == 0x2212; }

// Blanks and currency signs may surround a number ("$ 12", "12 €").
bool isDress(UChar32 c) {
    return c == ' ' || c == '\t' || u_charType(c) == U_SPACE_SEPARATOR || u_charType(c) == U_CURRENCY_SYMBOL;
}

std::vector<UChar32> codePoints(std::string_view text) {
    std::vector<UChar32> out;
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        out.push_back(c < 0 ? 0xFFFD : c);
    }
    return out;
}

// A number as written, without its grouping: the sign, the whole digits without leading zeros
// and the fraction digits without trailing zeros.
struct Number {
    bool negative = false;
    std::string whole;
    std::string fraction;
    bool leadingZero = false;  // "007": the digits may be a code rather than an amount
    bool operator==(const Number& other) const {
        return negative == other.negative && whole == other.whole && fraction == other.fraction;
    }
};

// The one number the text shows: its digits in one run of digits, group commas and at most one
// point. With `bare` only blanks, currency signs and a sign may stand around it; otherwise any
// words may ("Total: -40 °C").
std::optional<Number> numberIn(const std::vector<UChar32>& text, bool bare) {
    std::size_t first = text.size(), last = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isDigit(text[i])) continue;
        if (first == text.size()) first = i;
        last = i;
    }
    if (first == text.size()) return std::nullopt;
    if (first > 0 && text[first - 1] == '.') --first;  // ".5"

    Number number;
    std::string digits;
    std::optional<std::size_t> point;
    std::size_t sinceComma = 0;
    bool grouped = false;
    for (std::size_t i = first; i <= last; ++i) {
        const UChar32 c = text[i];
        if (isDigit(c)) {
            digits += static_cast<char>(c);
            ++sinceComma;
        } else if (c == ',' && !point && !digits.empty()) {
            if (grouped && sinceComma != 3) return std::nullopt;
            grouped = true;
            sinceComma = 0;
        } else if (c == '.' && !point) {
            if (grouped && sinceComma != 3) return std::nullopt;
            grouped = false;
            point = digits.size();
        } else {
            return std::nullopt;
        }
    }
    if (grouped && sinceComma != 3) return std::nullopt;

    // Before the number: a sign next to it, perhaps past a currency sign ("-$40", "$-40").
    std::size_t i = first;
    while (i > 0 && isDress(text[i - 1])) --i;
    if (i > 0 && isMinus(text[i - 1])) {
        number.negative = true;
        --i;
    } else if (i > 0 && text[i - 1] == '+') {
        --i;
    }
    while (i > 0 && isDress(text[i - 1])) --i;
    if (bare) {
        if (i > 0) return std::nullopt;
        for (std::size_t j = last + 1; j < text.size(); ++j) {
            if (!isDress(text[j])) return std::nullopt;
        }
    }

    const std::size_t wholeEnd = point.value_or(digits.size());
    std::size_t lead = 0;
    while (lead < wholeEnd && digits[lead] == '0') ++lead;
    number.leadingZero = lead > 0 && wholeEnd > 1;
    number.whole = digits.substr(lead, wholeEnd - lead);
    number.fraction = digits.substr(wholeEnd);
    while (!number.fraction.empty() && number.fraction.back() == '0') number.fraction.pop_back();
    if (number.whole.empty() && number.fraction.empty()) number.negative = false;
    return number;
}

std::string digitsOf(const std::vector<UChar32>& text) {
    std::string out;
    for (const UChar32 c : text) {
        if (isDigit(c)) out += static_cast<char>(c);
    }
    return out;
}

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `want` occurs in `held` without cutting a run of digits on either side.
bool containsWhole(std::string_view held, std::string_view want) {
    for (auto at = held.find(want); at != std::string_view::npos; at = held.find(want, at + 1)) {
        const bool cutsBefore = isAsciiDigit(want.front()) && at > 0 && isAsciiDigit(held[at - 1]);
        const std::size_t end = at + want.size();
        const bool cutsAfter = isAsciiDigit(want.back()) && end < held.size() && isAsciiDigit(held[end]);
        if (!cutsBefore && !cutsAfter) return true;
    }
    return false;
}

}  // namespace

Shows compare(std::string_view shown, std::string_view asked) {
    const std::string want = TavroText::norm(asked);
    if (want.empty()) return Shows::asked;
    const std::string held = TavroText::norm(shown);
    if (held.empty()) return Shows::nothing;

    const auto shownChars = codePoints(TavroText::trim(shown));
    // Bullets, then the end of the text: the end must be the end of what was asked.
    if (!shownChars.empty() && isMask(shownChars.front())) {
        std::size_t lastMask = 0;
        for (std::size_t i = 0; i < shownChars.size(); ++i) {
            if (isMask(shownChars[i])) lastMask = i;
        }
        std::string end;
        for (std::size_t i = lastMask + 1; i < shownChars.size(); ++i) {
            char buffer[U8_MAX_LENGTH];
            std::int32_t n = 0;
            UBool error = false;
            U8_APPEND(reinterpret_cast<std::uint8_t*>(buffer), n, U8_MAX_LENGTH, shownChars[i], error);
            if (!error) end.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string visible = TavroText::norm(end);
        if (visible.empty()) return Shows::nothing;
        return want.size() >= visible.size() && want.ends_with(visible) ? Shows::asked : Shows::other;
    }

    const auto askedChars = codePoints(TavroText::trim(asked));
    if (const auto number = numberIn(askedChars, true)) {
        const std::string typedDigits = digitsOf(askedChars);
        const bool bareDigits = typedDigits.size() == askedChars.size();
        const auto showing = numberIn(shownChars, false);
        if (showing && !number->leadingZero) return *showing == *number ? Shows::asked : Shows::other;
        // Digits typed bare may come back grouped by a mask: a phone or card number.
        if (bareDigits && digitsOf(shownChars) == typedDigits) return Shows::asked;
        return Shows::other;
    }
    return containsWhole(held, want) ? Shows::asked : Shows::other;
}

std::optional<std::string> holdsInstead(const TavroElement& control, std::string_view asked) {
    if (TavroText::trim(control.value).empty()) return std::nullopt;
    const std::string name = control.label.empty() ? std::string("The field") : control.label;
    std::string shown = TavroText::prefix(control.value, 60);
    if (shown.size() < control.value.size()) shown += "…";
    return name + " holds “" + shown + "”, not “" + std::string(asked) + "”";
}

}  // namespace tavro::TavroFieldValue
