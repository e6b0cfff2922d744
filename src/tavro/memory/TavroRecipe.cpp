#include "tavro/memory/TavroRecipe.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "tavro/core/TavroFieldValue.h"
#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

bool isTapKind(const std::string& kind) { return TavroElement::tapKinds().contains(kind); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<TavroElement> TavroTarget::find(const TavroScreen& in) const {
    const bool tap = isTapKind(kind);
    const std::string wantedLabel = TavroText::norm(label);
    std::vector<const TavroElement*> candidates;
    for (const TavroElement& element : in.elements) {
        if ((element.kind == kind || (tap && isTapKind(element.kind))) && TavroText::norm(element.label) == wantedLabel)
            candidates.push_back(&element);
    }
    if (candidates.empty()) return std::nullopt;

    // A dotted or underscored key is an identifier: found verbatim, it names the element for sure.
    for (const std::string& key : keys) {
        if (key.find('.') == std::string::npos && key.find('_') == std::string::npos) continue;
        for (const TavroElement* candidate : candidates) {
            if (std::find(candidate->keys.begin(), candidate->keys.end(), key) != candidate->keys.end())
                return *candidate;
        }
    }
    const std::set<std::string> wantedKeys(keys.begin(), keys.end());
    for (const TavroElement* candidate : candidates) {
        if (std::set<std::string>(candidate->keys.begin(), candidate->keys.end()) == wantedKeys &&
            (!wantedLabel.empty() || !wantedKeys.empty()))
            return *candidate;
    }

    std::set<std::string> wantedNames;
    for (const std::string& key : keys) {
        std::string name = TavroText::norm(key);
        if (!name.empty()) wantedNames.insert(std::move(name));
    }
    for (const TavroElement* candidate : candidates) {
        for (const std::string& key : candidate->keys) {
            if (wantedNames.contains(TavroText::norm(key))) return *candidate;
        }
    }
    // An empty label alone names nothing: it would pick any unlabelled element of the kind.
    if (wantedLabel.empty()) return std::nullopt;
    return *candidates.front();
}

bool TavroRecipeStep::holds(const TavroAction& action, const TavroScreen& on, std::optional<bool> wanted) const {
    using Kind = TavroAction::Kind;
    if (action.kind == Kind::navigate) return on.shows(action.text);
    const TavroElement* found = action.id ? on.element(*action.id) : nullptr;
    if (!found) return false;
    const TavroElement& element = *found;
    if (action.kind == Kind::click) {
        // A tap goal taps: the state kept is for a goal that asks one.
        if (!wanted) return false;
        if (!state.empty()) wanted = TavroElement::switchWord(state);
        return element.kind == "checkbox" && wanted && *wanted == element.isOn();
    }
    if (action.kind == Kind::select && element.kind == "select")
        return TavroFieldValue::holdsOption(element.value, action.text, element.options);
    if (action.kind == Kind::select && element.kind == "slider") {
        const auto number = [](const std::string& text) -> std::optional<double> {
            const auto t = TavroText::trim(text);
            char* end = nullptr;
            const double value = std::strtod(t.c_str(), &end);
            if (t.empty() || end != t.c_str() + t.size()) return std::nullopt;
            return value;
        };
        const auto wanted = number(action.text);
        const auto shown = number(element.value);
        return wanted && shown && *wanted == *shown;
    }
    if (action.kind == Kind::type && !action.submit && (element.kind == "input" || element.kind == "textarea")) {
        return element.type != "password" && !action.text.empty() &&
               TavroText::trim(element.value) == TavroText::trim(action.text);
    }
    return false;
}

std::optional<TavroAction> TavroRecipeStep::action(const TavroScreen& on, const std::vector<std::string>& values) const {
    const auto actionKind = kindFromName(kind);
    if (!actionKind) return std::nullopt;
    auto actionText = filled(text, values);
    if (!actionText) return std::nullopt;
    TavroAction result{.kind = *actionKind, .text = std::move(*actionText), .submit = submit};
    if (target) {
        const auto element = target->find(on);
        if (!element) return std::nullopt;
        result.id = element->id;
    }
    return result;
}

std::string TavroRecipeStep::escaped(std::string_view literal) {
    std::string out;
    out.reserve(literal.size());
    for (const char c : literal) {
        out += c;
        if (c == '{' || c == '}') out += c;
    }
    return out;
}

std::optional<std::string> TavroRecipeStep::filled(std::string_view stored, const std::vector<std::string>& values) {
    std::string out;
    out.reserve(stored.size());
    std::size_t i = 0;
    while (i < stored.size()) {
        const char c = stored[i];
        if ((c == '{' || c == '}') && i + 1 < stored.size() && stored[i + 1] == c) {
            out += c;
            i += 2;
            continue;
        }
        if (c == '{') {
            std::size_t end = i + 1;
            while (end < stored.size() && isDigit(stored[end])) ++end;
            if (end > i + 1 && end < stored.size() && stored[end] == '}') {
                const std::string_view digits = stored.substr(i + 1, end - i - 1);
                // More digits than any list of values could need is an unfilled marker too.
                if (digits.size() > 9) return std::nullopt;
                std::size_t index = 0;
                for (const char d : digits) index = index * 10 + static_cast<std::size_t>(d - '0');
                if (index >= values.size()) return std::nullopt;
                out += values[index];
                i = end + 1;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

}  // namespace tavro
