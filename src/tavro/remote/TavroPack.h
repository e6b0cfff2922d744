// A remote configuration pack: what the maker can change about the library's behaviour for one
// app without a release. It can pause the library, override the step limit, choose the local
// model family, add notes to the step prompt, add an approval pattern, map verbs to the agent's
// own ("hit" -> "tap"), rewrite goals before a run, and carry an app map.
//
// TavroPacks is the process-wide store of the active pack, guarded by its own lock: readers get a
// copy; setting or clearing it re-announces the local-model family (after the lock is released).
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "tavro/remote/TavroAppMap.h"

namespace tavro {

struct TavroPack {
    // Why a pack envelope was refused; thrown by the loader's verification. what() is one line of
    // English that says why.
    class Invalid : public std::runtime_error {
    public:
        enum class Reason { tooLarge, malformed, unknownKey, badKey, badSignature, badPack, rollback };
        Invalid(Reason reason, const std::string& text) : std::runtime_error(text), reason_(reason) {}
        Reason reason() const { return reason_; }

    private:
        Reason reason_;
    };

    // One goal rewrite: the first match of `pattern` (ICU syntax, case-insensitive) is replaced by
    // `templateText`, in which "$1" and the like insert the match's groups.
    struct Rewrite {
        std::string pattern;
        std::string templateText;

        bool operator==(const Rewrite&) const = default;
    };

    int version = 0;
    // Replaces the configuration's step limit when present.
    std::optional<int> maxSteps;
    // Pauses the library for this app.
    bool paused = false;
    // The local-model family word ("qwen" or "off").
    std::optional<std::string> localModel;
    std::vector<std::string> notes;
    // An approval pattern: an action whose words match it waits for the user.
    std::optional<std::string> approve;
    // Verb synonyms, from a lower-case word to the verb it stands for.
    std::map<std::string, std::string> verbs;
    std::vector<Rewrite> rewrites;
    std::optional<TavroAppMap> map;

    bool operator==(const TavroPack&) const = default;

    // The notes for the step prompt, each written as "- " + note, joined by line feeds; empty
    // without notes.
    std::string promptNotes() const;

    // Bounds of one whole rewrite: past either, the goal comes back trimmed but otherwise as it was
    // and the activity log says why. A goal is something a person types: a few thousand characters
    // (the length counts UTF-8 bytes) and well under a frame or three of the main actor's time.
    static constexpr std::chrono::milliseconds rewriteTimeLimit{50};
    static constexpr std::size_t rewriteLengthLimit = 8192;

    // The goal trimmed of white space and line feeds, then passed through every rewrite in order
    // (each replacing its first match and trimming again), within the bounds above.
    std::string rewrite(std::string_view goal) const;

    // A command phrase with its first word mapped through `verbs`: the table's verb, then one blank
    // and the rest of the phrase when there is a rest. A phrase whose first word is not in the
    // table (or an empty phrase) comes back unchanged.
    std::string verb(std::string_view phrase) const;

    // JSON form: {"version": 3, "maxSteps": 20, "paused": false, "localModel": "qwen",
    // "notes": ["..."], "approve": "regex", "verbs": {"hit": "tap"},
    // "rewrites": [{"pattern": "regex", "template": "text with $1"}], "map": {...}}.
    // Only "version" (an integer) is required; nothing without it. Keys of the wrong type read as
    // absent. A rewrite or approve pattern that does not compile is dropped; the pack is still used.
    static std::optional<TavroPack> fromJSON(const nlohmann::json& json);
    static std::optional<TavroPack> parse(std::string_view text);
    nlohmann::json toJSON() const;
};

class TavroPacks {
public:
    // A copy of the active pack, or nothing.
    static std::optional<TavroPack> current();
    // Makes a pack the active one (nothing clears it), then re-announces the model family.
    static void setCurrent(std::optional<TavroPack> pack);
    // Drops the active pack, then re-announces the model family.
    static void clear();

    // Tests: drop the active pack without announcing anything.
    static void reset();
};

}  // namespace tavro
