// The recipe store: what worked for a goal, learned from the steps of a successful run, recalled
// for a later goal of the same shape and replayed without a model.
//
// Learning turns each typed or selected text that also appears in the goal into a slot: the step
// keeps "{i}" and the goal's occurrence becomes "{i}" in the recipe's template, so that "send hi
// to Tuli" recalls for "send hello there to Mia" with the values "hello there" and "Mia".
//
// Storage: a JSON list of recipes in one file (by default "recipes.json" in the "TavroSDK"
// directory of Application Support), kept as fnd::StoreFile keeps every store's file. Dates are
// stored as ISO-8601 text in UTC with milliseconds ("2025-01-31T09:30:00.250Z"). Every save writes
// a temporary file, syncs it and renames it over the old one, so a crash leaves either the old or
// the new list. A file that cannot be read is renamed aside (".unreadable-" and the time) and the
// memory starts empty; a file that cannot be opened now is left alone and read again before the
// next save, which then keeps both what it holds and what was learned meanwhile. A recipe whose
// slot markers name slots its template does not have is dropped when read (a copy of the file is
// kept aside). A save that fails keeps the recipes in memory for the next save and says so in a
// console line and in the activity log. Creating a memory never fails. Held by std::shared_ptr; every
// operation takes the memory's lock.
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

#include "platform/foundation/StoreFile.h"
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
    // stored order) and the slot values taken from the goal, trimmed, in slot order. With
    // `accepts`, a recipe counts only when every one of its values passes it.
    std::optional<std::pair<TavroRecipe, std::vector<std::string>>> recall(
        std::string_view goal, const std::function<bool(const std::string&)>& accepts = {}) const;

    // Generalises the performed steps into a recipe for the goal, updates the stored recipe with
    // the same template or adds it (keeping at most `maxRecipes`), and saves. Returns whether the
    // recipe was written to the file: false when nothing was learned or the save failed (the
    // recipe is then kept in memory for the next save, and the failure said on the console).
    bool learn(std::string_view goal, const std::vector<TavroPerformedStep>& steps);

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

    // Takes in the saved list, with what was learned before it could be read on top.
    bool read(std::string_view bytes);
    // Adds the entry, or updates the one with the same template; returns where it is.
    static std::size_t absorb(std::vector<Entry>& into, Entry entry, bool oneMoreRun);
    // Drops the least used recipes beyond `maxRecipes`, never the one at `kept`.
    static void evict(std::vector<Entry>& entries, std::size_t kept);
    // Writes the list; the reason when it was not written.
    std::optional<std::string> save();
    static void reportUnsaved(const std::optional<std::string>& error);
    static TavroRecipe::Time now();

    const std::filesystem::path file_;
    mutable std::mutex mutex_;
    fnd::StoreFile store_;
    std::vector<Entry> entries_;
};

}  // namespace tavro
