// The recipe store: what worked for a goal, learned from the steps of a successful run, recalled
// for a later goal of the same shape and replayed without a model.
//
// Learning turns each typed or selected text that also appears in the goal into a slot: the step
// keeps "{i}" and the goal's occurrence becomes "{i}" in the recipe's template, so that "send hi
// to Tuli" recalls for "send hello there to Mia" with the values "hello there" and "Mia".
//
// Storage: a JSON list of recipes in one file (by default "recipes.json" in the "TavroSDK"
// directory of Application Support). Dates are stored as ISO-8601 text in UTC with milliseconds
// ("2025-01-31T09:30:00.250Z"). Every save writes a temporary file, syncs it and renames it over
// the old one, so a crash leaves either the old or the new list. A file that cannot be read is
// renamed aside (".unreadable-" and the time) and the memory starts empty; creating a memory
// never fails. Held by std::shared_ptr; every operation takes the memory's lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/Uuid.h"
#include "tavro/memory/TavroPerformedStep.h"
#include "tavro/memory/TavroRecipe.h"

namespace tavro {

class TavroMemory {
public:
    static constexpr std::size_t maxRecipes = 200;

    // Reads the saved recipes at once; a missing file leaves the memory empty, an unreadable one
    // is kept aside and the memory starts empty.
    explicit TavroMemory(std::filesystem::path file);
    ~TavroMemory();
    TavroMemory(const TavroMemory&) = delete;
    TavroMemory& operator=(const TavroMemory&) = delete;

    // "recipes.json" in the directory "TavroSDK" of Application Support.
    static std::filesystem::path defaultURL();

    // The best stored recipe whose template matches the trimmed goal (most runs first, ties in
    // stored order) and the slot values taken from the goal, trimmed, in slot order.
    std::optional<std::pair<TavroRecipe, std::vector<std::string>>> recall(std::string_view goal) const;

    // Generalises the performed steps into a recipe for the goal, updates the stored recipe with
    // the same template or adds it (keeping at most `maxRecipes`), and saves. Errors are ignored.
    void learn(std::string_view goal, const std::vector<TavroPerformedStep>& steps);

    // One more successful use of the recipe with this id, stamped now, and save; an unknown id
    // changes nothing.
    void reinforce(const fnd::Uuid& id);

    // The stored recipes in stored order.
    std::vector<TavroRecipe> recipes() const;

    const std::filesystem::path& file() const { return file_; }

    // Called after a save has written and synced its temporary file and before the rename that
    // publishes it. Tests use it to end the process at that point.
    void setBeforeRenameForTesting(std::function<void(const std::filesystem::path& temporary)> hook);

private:
    struct Entry;

    void load();
    void keepAside();
    void save();
    std::chrono::system_clock::time_point now() const;

    const std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    bool saves_ = true;  // false when an unreadable file could not be kept aside
    std::function<void(const std::filesystem::path&)> beforeRename_;
};

}  // namespace tavro
