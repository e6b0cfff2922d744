// One element of a screen reading, the rectangle type screens use, and the list type an element
// keeps its rarely filled lists in. Plain values: nothing here refers back to the on-screen object;
// a surface keeps that mapping itself, keyed by the id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavro {

// A list of strings an element carries that most elements leave empty (its options, its swipe
// actions). It reads as a std::vector<std::string> and converts to one, but is kept behind one
// pointer, null while empty: it adds eight bytes to an element, and an empty one copies as a null
// pointer. Screens of a thousand elements are read, and so copied and walked, twice a turn.
class TavroStringList {
public:
    using value_type = std::string;
    using const_iterator = std::vector<std::string>::const_iterator;
    using iterator = const_iterator;
    using size_type = std::size_t;

    TavroStringList() = default;
    TavroStringList(std::initializer_list<std::string> strings);
    TavroStringList(std::vector<std::string> strings);
    TavroStringList(const TavroStringList& other) : items_(other.empty() ? nullptr : copy(*other.items_)) {}
    TavroStringList(TavroStringList&&) noexcept = default;
    TavroStringList& operator=(const TavroStringList& other);
    TavroStringList& operator=(TavroStringList&&) noexcept = default;

    const std::vector<std::string>& items() const { return items_ ? *items_ : none(); }
    operator const std::vector<std::string>&() const { return items(); }
    const_iterator begin() const { return items_ ? items_->cbegin() : const_iterator(); }
    const_iterator end() const { return items_ ? items_->cend() : const_iterator(); }
    size_type size() const { return items_ ? items_->size() : 0; }
    bool empty() const { return !items_ || items_->empty(); }
    const std::string& operator[](size_type i) const { return (*items_)[i]; }
    void push_back(std::string s);

    bool operator==(const TavroStringList& other) const { return items() == other.items(); }
    bool operator==(const std::vector<std::string>& other) const { return items() == other; }

private:
    static std::unique_ptr<std::vector<std::string>> copy(const std::vector<std::string>& strings);
    static const std::vector<std::string>& none();
    std::unique_ptr<std::vector<std::string>> items_;
};

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
    TavroStringList options;
    bool inView = false;
    TavroRect frame;
    bool focused = false;
    // The titles of the actions a full sideways swipe on the element runs (a table row's swipe
    // actions): a finger moving right reaches the leading ones, moving left the trailing ones.
    TavroStringList leadingActions;
    TavroStringList trailingActions;

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
