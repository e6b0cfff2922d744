// The map of the app's screens: for each screen (keyed by its location) its title and the controls
// seen on it, with the screen each control leads to. The explorer learns it, a pack may carry
// one, and the planner reads hints from it: which screens a goal is likely about and how to get
// there from where the user is.
//
// TavroMaps is the process-wide store: the learned map (kept under its own lock, saved as
// "TavroAppMap.json" in Application Support) and the map in force (learned, else the active pack's).
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "tavro/core/TavroScreen.h"

namespace tavro {

struct TavroAppMap {
    struct Control {
        std::string label;
        std::string kind;
        // The location of the screen this control leads to, when known.
        std::optional<std::string> to;

        bool operator==(const Control&) const = default;
    };

    struct Screen {
        std::string location;
        std::string title;
        std::vector<Control> controls;

        bool operator==(const Screen&) const = default;
    };

    std::string app;
    std::string appVersion;
    // The location where exploring started.
    std::string start;
    // Screens by location; "map order" is the order of this table.
    std::map<std::string, Screen> screens;

    bool operator==(const TavroAppMap&) const = default;

    // At most `limit` hint lines for a goal seen from `screen`, best first: each names a screen
    // whose title or control labels contain words of the goal, followed by ": " and the labels of
    // the shortest chain of controls that leads there from the current screen, when there is one.
    // Empty when no screen scores.
    std::vector<std::string> hints(std::string_view goal, const TavroScreen& screen, int limit) const;

    // JSON form: {"app", "appVersion", "start", "screens": {location: {"location", "title",
    // "controls": [{"label", "kind", "to"}]}}}. Reading is lenient about missing keys (they read
    // as empty) and gives nothing when the value is not an object of that shape.
    nlohmann::json toJSON() const;
    static std::optional<TavroAppMap> fromJSON(const nlohmann::json& json);
    // Parses JSON text; nothing for text that is not a map.
    static std::optional<TavroAppMap> parse(std::string_view text);
};

class TavroMaps {
public:
    // The learned map if any, else the active pack's map, else nothing.
    static std::optional<TavroAppMap> current();

    // The learned map, read and written under the store's lock.
    static std::optional<TavroAppMap> learned();
    static void setLearned(std::optional<TavroAppMap> map);

    // When no learned map is held yet, reads the saved file and keeps it as the learned map. A
    // missing or unreadable file changes nothing (an unreadable one is moved aside, as
    // fnd::StoreFile does for every store).
    static void loadSaved();
    // Writes the map to the saved file (creating the directory, replacing the file atomically so a
    // reader never sees half a file). A file that was never read is read first, and one that
    // cannot be opened now is not replaced. Errors are ignored but for one activity-log line.
    static void save(const TavroAppMap& map);
    // "TavroAppMap.json" in the app's Application Support directory.
    static std::filesystem::path fileURL();

    // Tests: forget the learned map.
    static void reset();
};

}  // namespace tavro
