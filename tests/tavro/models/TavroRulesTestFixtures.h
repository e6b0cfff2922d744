// Small screen builders shared by the rules engine's tests.
#pragma once

#include <string>
#include <vector>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroScreen.h"

namespace rulesfixtures {

using tavro::TavroAction;
using tavro::TavroElement;
using tavro::TavroScreen;

inline TavroElement el(std::int64_t id, std::string kind, std::string label, std::string value = {}) {
    return TavroElement{.id = id, .kind = std::move(kind), .label = std::move(label), .value = std::move(value), .inView = true};
}

inline TavroElement offScreen(TavroElement e) {
    e.inView = false;
    return e;
}

inline TavroElement withKeys(TavroElement e, std::vector<std::string> keys) {
    e.keys = std::move(keys);
    return e;
}

inline TavroElement withType(TavroElement e, std::string type) {
    e.type = std::move(type);
    return e;
}

inline TavroElement withOptions(TavroElement e, std::vector<std::string> options) {
    e.options = std::move(options);
    return e;
}

inline TavroElement focused(TavroElement e) {
    e.focused = true;
    return e;
}

inline TavroScreen screen(std::vector<TavroElement> elements) {
    return TavroScreen{.location = "Test", .title = "Test", .elements = std::move(elements)};
}

inline TavroAction act(TavroAction::Kind kind, std::optional<std::int64_t> id = std::nullopt, std::string text = {},
                       bool submit = false) {
    return TavroAction{.kind = kind, .id = id, .text = std::move(text), .submit = submit, .thought = {}};
}

}  // namespace rulesfixtures
