#include "tavro/core/TavroElement.h"

#include <algorithm>
#include <array>

#include "tavro/core/TavroText.h"

namespace tavro {

TavroStringList::TavroStringList(std::initializer_list<std::string> strings)
    : items_(strings.size() == 0 ? nullptr : std::make_unique<std::vector<std::string>>(strings)) {}

TavroStringList::TavroStringList(std::vector<std::string> strings)
    : items_(strings.empty() ? nullptr : std::make_unique<std::vector<std::string>>(std::move(strings))) {}

TavroStringList& TavroStringList::operator=(const TavroStringList& other) {
    if (this != &other) items_ = other.empty() ? nullptr : copy(*other.items_);
    return *this;
}

void TavroStringList::push_back(std::string s) {
    if (!items_) items_ = std::make_unique<std::vector<std::string>>();
    items_->push_back(std::move(s));
}

std::unique_ptr<std::vector<std::string>> TavroStringList::copy(const std::vector<std::string>& strings) {
    return std::make_unique<std::vector<std::string>>(strings);
}

const std::vector<std::string>& TavroStringList::none() {
    static const std::vector<std::string> empty;
    return empty;
}

const std::set<std::string>& TavroElement::fieldKinds() {
    static const std::set<std::string> kinds{"input", "textarea", "select", "slider"};
    return kinds;
}

const std::set<std::string>& TavroElement::tapKinds() {
    static const std::set<std::string> kinds{"button", "link", "checkbox", "tab", "cell"};
    return kinds;
}

std::optional<bool> TavroElement::switchWord(std::string_view word) {
    static constexpr std::array<std::string_view, 7> on = {"on", "yes", "true", "1", "enable", "enabled", "オン"};
    static constexpr std::array<std::string_view, 7> off = {"off", "no", "false", "0", "disable", "disabled", "オフ"};
    const auto n = TavroText::norm(word);
    if (std::find(on.begin(), on.end(), n) != on.end()) return true;
    if (std::find(off.begin(), off.end(), n) != off.end()) return false;
    return std::nullopt;
}

bool TavroElement::isOn() const { return switchWord(value) == true || TavroText::lower(value) == "on"; }

std::vector<std::string> TavroElement::names() const {
    std::vector<std::string> out;
    out.reserve(keys.size() + 1);
    const auto add = [&out](const std::string& name) {
        auto n = TavroText::norm(name);
        if (!n.empty()) out.push_back(std::move(n));
    };
    add(label);
    for (const auto& key : keys) add(key);
    return out;
}

}  // namespace tavro
