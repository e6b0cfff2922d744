// The user's preferred languages as an ordered list of language tags ("ja-JP", "en-US"), read from
// the environment the way the platform's locale settings are: LANGUAGE (colon-separated) when
// set, else the first of LC_ALL, LC_MESSAGES and LANG ("ja_JP.UTF-8" gives "ja-JP"). The C and
// POSIX locales name no language. Tests install an override.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fnd {

class PreferredLanguages {
public:
    PreferredLanguages() = delete;

    // The override when one is set, else the list read from the environment now.
    static std::vector<std::string> list();
    // The first tag, or nothing for an empty list.
    static std::optional<std::string> first();

    // Replaces the environment's answer until cleared with nothing (or reset()).
    static void setOverride(std::optional<std::vector<std::string>> tags);
    static void reset();

    // The list the environment gives now, ignoring any override.
    static std::vector<std::string> fromEnvironment();
    // One locale name as a language tag: "ja_JP.UTF-8" -> "ja-JP", "de_DE@euro" -> "de-DE";
    // empty for "C", "POSIX" and empty names.
    static std::string tag(std::string_view localeName);
};

}  // namespace fnd
