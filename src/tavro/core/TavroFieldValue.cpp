#include "tavro/core/TavroFieldValue.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
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

bool isPointOrComma(UChar32 c) { return c == '.' || c == ','; }

// Blanks and apostrophes only ever group thousands ("1 234", "1'234").
bool isGroupBlank(UChar32 c) { return c == ' ' || c == 0x00A0 || c == 0x202F || c == 0x2009 || c == '\''; }

// The readings of the one number the text shows: its digits in one run of digits and separators.
// A comma or a point is the decimal sign when the other one groups thousands ("1.234,00",
// "$1,234.00") or when one or two digits end the number after it ("2,50 €"); otherwise a point
// is the decimal sign and commas group thousands ("2.5", "1,234"). A lone separator before three
// digits reads either way in some formats ("1.234" is 1234 in German); `bothReadings` gives the
// other reading too. With `bare` only blanks, currency signs and a sign may stand around the
// number; otherwise any words may ("Total: -40 °C").
std::vector<Number> numbersIn(const std::vector<UChar32>& text, bool bare, bool bothReadings) {
    std::size_t first = text.size(), last = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isDigit(text[i])) continue;
        if (first == text.size()) first = i;
        last = i;
    }
    if (first == text.size()) return {};
    const bool leadingPoint = first > 0 && text[first - 1] == '.';  // ".5"

    // The digit groups and the one separator between each two.
    std::vector<std::string> groups(1);
    std::vector<UChar32> separators;
    for (std::size_t i = first; i <= last; ++i) {
        const UChar32 c = text[i];
        if (isDigit(c)) {
            groups.back() += static_cast<char>(c);
        } else if ((isPointOrComma(c) || isGroupBlank(c)) && !groups.back().empty()) {
            separators.push_back(c);
            groups.emplace_back();
        } else {
            return {};
        }
    }

    // Which separator, if any, is the decimal sign; `other` the second reading of a lone one.
    std::optional<std::size_t> decimal;
    std::optional<std::optional<std::size_t>> other;
    const auto points = std::count(separators.begin(), separators.end(), UChar32('.'));
    const auto commas = std::count(separators.begin(), separators.end(), UChar32(','));
    if (leadingPoint) {
        if (!separators.empty()) return {};
    } else if (points > 0 && commas > 0) {
        // Both: the last of them is the decimal sign, written once, and the other groups.
        std::size_t at = separators.size();
        while (at > 0 && !isPointOrComma(separators[at - 1])) --at;
        const UChar32 sign = separators[at - 1];
        if ((sign == '.' ? points : commas) != 1) return {};
        decimal = at - 1;
    } else if (points + commas == 1) {
        const std::size_t at = static_cast<std::size_t>(
            std::find_if(separators.begin(), separators.end(), isPointOrComma) - separators.begin());
        const std::size_t after = groups[at + 1].size();
        const bool ends = at + 1 == separators.size();
        if (ends && after == 3) {
            // A point reads as the decimal sign and a comma as grouping; in some formats the other way.
            const std::optional<std::size_t> point(at), grouping;
            decimal = separators[at] == '.' ? point : grouping;
            if (bothReadings) other = separators[at] == '.' ? grouping : point;
        } else if (ends && (after < 3 || separators[at] == '.')) {
            decimal = at;
        } else if (separators[at] == '.') {
            return {};
        }
    }
    const auto reading = [&](std::optional<std::size_t> sign) -> std::optional<Number> {
        // A grouped number never starts with a zero ("0,250" is no 250); every group after a
        // grouping separator has three digits; nothing follows the decimal sign but its digits.
        const bool grouping = sign ? *sign > 0 : groups.size() > 1;
        if (grouping && groups.front().front() == '0') return std::nullopt;
        std::string digits;
        std::size_t wholeEnd = 0;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (g > 0 && (!sign || g <= *sign) && groups[g].size() != 3) return std::nullopt;
            if (sign && g == *sign + 1) {
                if (g + 1 != groups.size()) return std::nullopt;
                wholeEnd = digits.size();
            }
            digits += groups[g];
        }
        if (!sign) wholeEnd = leadingPoint ? 0 : digits.size();
        Number number;
        std::size_t lead = 0;
        while (lead < wholeEnd && digits[lead] == '0') ++lead;
        number.leadingZero = lead > 0 && wholeEnd > 1;
        number.whole = digits.substr(lead, wholeEnd - lead);
        number.fraction = digits.substr(wholeEnd);
        while (!number.fraction.empty() && number.fraction.back() == '0') number.fraction.pop_back();
        return number;
    };

    // Before the number: a sign next to it, perhaps past a currency sign ("-$40", "$-40").
    std::size_t i = leadingPoint ? first - 1 : first;
    while (i > 0 && isDress(text[i - 1])) --i;
    bool negative = false;
    if (i > 0 && isMinus(text[i - 1])) {
        negative = true;
        --i;
    } else if (i > 0 && text[i - 1] == '+') {
        --i;
    }
    while (i > 0 && isDress(text[i - 1])) --i;
    if (bare) {
        if (i > 0) return {};
        for (std::size_t j = last + 1; j < text.size(); ++j) {
            if (!isDress(text[j])) return {};
        }
    }

    std::vector<Number> out;
    for (const auto& sign : {std::optional<std::optional<std::size_t>>(decimal), other}) {
        if (!sign) continue;
        auto number = reading(*sign);
        if (!number) continue;
        number->negative = negative && !(number->whole.empty() && number->fraction.empty());
        out.push_back(std::move(*number));
    }
    return out;
}

std::string digitsOf(const std::vector<UChar32>& text) {
    std::string out;
    for (const UChar32 c : text) {
        if (isDigit(c)) out += static_cast<char>(c);
    }
    return out;
}

// A text normalised as `TavroText::norm` does, with the offsets where its words start and end.
struct Words {
    std::string text;
    std::vector<std::size_t> edges{0};  // ascending
};

Words wordsOf(std::string_view shown) {
    Words out;
    std::string run;
    bool runUnspaced = false;
    const auto flush = [&] {
        if (!run.empty()) TavroText::appendNorm(run, out.text);
        if (out.edges.back() != out.text.size()) out.edges.push_back(out.text.size());
        run.clear();
    };
    const auto* s = reinterpret_cast<const std::uint8_t*>(shown.data());
    const auto length = static_cast<std::int32_t>(shown.size());
    for (std::int32_t i = 0; i < length;) {
        const std::int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        const auto category = c < 0 ? 0 : U_GET_GC_MASK(c);
        if (!(category & (U_GC_L_MASK | U_GC_N_MASK | U_GC_M_MASK))) {
            flush();
            continue;
        }
        const bool mark = category & U_GC_M_MASK;
        if (!mark && (runUnspaced || TavroText::unspaced(static_cast<char32_t>(c)))) flush();
        if (!mark) runUnspaced = TavroText::unspaced(static_cast<char32_t>(c));
        run.append(shown.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    }
    flush();
    return out;
}

// Whether the shown text holds `want` (normalised) as whole words: "Anna Smith" holds "anna",
// "Joanna" does not, nor does "2500" hold "250".
bool holdsWords(std::string_view shown, std::string_view want) {
    const Words words = wordsOf(shown);
    const auto edge = [&](std::size_t at) { return std::binary_search(words.edges.begin(), words.edges.end(), at); };
    for (auto at = words.text.find(want); at != std::string::npos; at = words.text.find(want, at + 1)) {
        if (edge(at) && edge(at + want.size())) return true;
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
    if (const auto typed = numbersIn(askedChars, true, false); !typed.empty()) {
        const Number& number = typed.front();
        const std::string typedDigits = digitsOf(askedChars);
        const bool bareDigits = typedDigits.size() == askedChars.size();
        // The number as the field's format reads it: "2,50 €" is 2.50, never 250.
        const auto showing = numbersIn(shownChars, false, true);
        if (!showing.empty() && !number.leadingZero)
            return std::find(showing.begin(), showing.end(), number) != showing.end() ? Shows::asked : Shows::other;
        // Digits typed bare may come back grouped by a mask: a phone or card number.
        if (bareDigits && digitsOf(shownChars) == typedDigits) return Shows::asked;
        return Shows::other;
    }
    return holdsWords(shown, want) ? Shows::asked : Shows::other;
}

bool holdsOption(std::string_view value, std::string_view asked, const std::vector<std::string>& options) {
    const std::string held = TavroText::fold(value);
    if (held.empty()) return false;
    const auto chosen = options.empty() ? std::nullopt : TavroText::option(asked, options);
    if (!chosen) return held == TavroText::fold(asked);
    return TavroText::option(value, options) == chosen;
}

std::optional<std::string> holdsInstead(const TavroElement& control, std::string_view asked) {
    if (TavroText::trim(control.value).empty()) return std::nullopt;
    std::string shown = TavroText::prefix(control.value, 60);
    if (shown.size() < control.value.size()) shown += "…";
    const std::string typed(asked);
    if (control.label.empty()) {
        return L("The field holds “" + shown + "”, not “" + typed + "”",
                 "欄の値は「" + shown + "」で、「" + typed + "」ではありません");
    }
    const std::string& name = control.label;
    return L(name + " holds “" + shown + "”, not “" + typed + "”",
             name + " の値は「" + shown + "」で、「" + typed + "」ではありません");
}

}  // namespace tavro::TavroFieldValue
