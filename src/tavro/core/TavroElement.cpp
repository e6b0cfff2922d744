#include "tavro/core/TavroElement.h"

#include "tavro/core/TavroText.h"

namespace tavro {

const std::set<std::string>& TavroElement::fieldKinds() {
    static const std::set<std::string> kinds{"input", "textarea", "select", "slider"};
    return kinds;
}

const std::set<std::string>& TavroElement::tapKinds() {
    static const std::set<std::string> kinds{"button", "link", "checkbox", "tab", "cell"};
    return kinds;
}

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
