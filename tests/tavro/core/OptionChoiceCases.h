// The choice of an option among a control's options, as a table shared by every place that makes
// that choice: the text helpers (native controls, the rules engine) and the browser's page script.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace optioncases {

struct Case {
    std::vector<std::string> options;
    std::string value;
    std::optional<std::size_t> chosen;  // index into options, or nothing
};

inline const std::vector<Case>& cases() {
    static const std::vector<Case> table = {
        // An equal option wins over one that merely contains the value; a number never matches
        // inside a longer number.
        {{"10 tickets", "1 ticket"}, "1", 1},
        {{"10 tickets", "1 ticket"}, "1 ticket", 1},
        {{"10 tickets", "2 tickets"}, "1", std::nullopt},
        {{"Size 10", "Size 1"}, "size 1", 1},
        {{"Large (L)", "L"}, "l", 1},
        // Then one that starts with the value as a whole word, then one that holds it so.
        {{"Extra small", "Small (S)", "Medium"}, "small", 1},
        {{"Express delivery", "Standard delivery"}, "standard", 1},
        {{"Pay by card", "Pay on delivery"}, "delivery", 1},
        // Equal after folding case, accents and full-width forms.
        {{"English", "Français", "Español"}, "Francais", 1},
        {{"English", "Français", "Español"}, "espanol", 2},
        {{"Wi-Fi only", "Always"}, "wifi only", 0},
        {{"ＸＬ", "L"}, "xl", 0},
        // Otherwise part of a word or a small misspelling, numbers kept whole.
        {{"Monthly plan", "Yearly plan"}, "Year", 1},
        {{"Deutsch", "English"}, "Deutch", 0},
        {{"English", "日本語"}, "日本語", 1},
        {{"Red", "Blue"}, "Green", std::nullopt},
        {{"Red", "Blue"}, "…", std::nullopt},
    };
    return table;
}

}  // namespace optioncases
