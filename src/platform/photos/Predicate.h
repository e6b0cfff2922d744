// Fetch predicates in the platform's format-string syntax, for the integer and Boolean keys of
// the photo library's objects: comparisons (== = != <> < <= > >=), bitwise & and |, NOT / !,
// AND / &&, OR / ||, parentheses, integers, YES / NO / TRUE / FALSE, and "%d"-style arguments filled
// in order from the list given at creation. "favorite == YES",
// "NOT ((mediaSubtypes & %d) != 0)" with the argument 4.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace photos {

class Predicate {
public:
    // The predicate, or nothing when the format does not parse or lacks arguments.
    static std::optional<Predicate> make(std::string_view format, std::vector<std::int64_t> arguments = {});

    // Looks up a key of the object being tested: its value (Booleans as 0 and 1), or nothing for a
    // key the object does not have.
    using KeyLookup = std::function<std::optional<std::int64_t>(std::string_view key)>;

    // Whether the object passes; an object lacking one of the keys does not.
    bool evaluate(const KeyLookup& lookup) const;

    // Every key the predicate names, in order of appearance.
    const std::vector<std::string>& keys() const { return keys_; }
    const std::string& format() const { return format_; }

    struct Node;

private:
    Predicate(std::string format, std::shared_ptr<const Node> root, std::vector<std::string> keys)
        : format_(std::move(format)), root_(std::move(root)), keys_(std::move(keys)) {}
    std::string format_;
    std::shared_ptr<const Node> root_;
    std::vector<std::string> keys_;
};

}  // namespace photos
