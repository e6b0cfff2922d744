// One element of a screen reading, and the rectangle type screens use. Plain values: nothing here
// refers back to the on-screen object; a surface keeps that mapping itself, keyed by the id.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tavro {

// A rectangle in window points.
struct TavroRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    bool operator==(const TavroRect&) const = default;
};

struct TavroElement {
    std::int64_t id = 0;
    std::string kind;
    std::string type;
    std::string label;
    std::string value;
    std::vector<std::string> keys;
    std::vector<std::string> options;
    bool inView = false;
    TavroRect frame;
    bool focused = false;
    // The titles of the actions a full sideways swipe on the element runs (a table row's swipe
    // actions): a finger moving right reaches the leading ones, moving left the trailing ones.
    std::vector<std::string> leadingActions;
    std::vector<std::string> trailingActions;

    bool operator==(const TavroElement&) const = default;

    // The label followed by the keys, each normalised (TavroText::norm), empty results dropped,
    // order kept: the names the element is matched by.
    std::vector<std::string> names() const;

    // Whether a checkbox's value reads as on: a word `switchWord` reads as on, or "on" itself.
    bool isOn() const;
    // Whether a word asks for on (true) or off (false), compared normalised: "on", "yes", "true",
    // "1", "enable", "enabled", "オン" and their opposites; nothing for any other word.
    static std::optional<bool> switchWord(std::string_view word);

    // Kinds that take a value: input, textarea, select, slider.
    static const std::set<std::string>& fieldKinds();
    // Kinds that are tapped: button, link, checkbox, tab, cell.
    static const std::set<std::string>& tapKinds();
};

}  // namespace tavro
