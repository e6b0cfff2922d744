#include "tavro/core/TavroAction.h"

namespace tavro {

namespace {
constexpr std::array<std::string_view, 16> kindNames = {
    "click", "type", "select", "scroll", "swipe", "longPress", "navigate", "back",
    "ask",   "done", "fail",   "openWeb", "copy", "paste",    "saveImage", "share",
};
}  // namespace

std::string_view kindName(TavroAction::Kind kind) { return kindNames[static_cast<std::size_t>(kind)]; }

bool TavroAction::isSurfaceAction() const {
    switch (kind) {
        case Kind::click:
        case Kind::type:
        case Kind::select:
        case Kind::scroll:
        case Kind::swipe:
        case Kind::longPress:
        case Kind::navigate:
        case Kind::back: return true;
        default: return false;
    }
}

bool TavroAction::isLocalOperation() const {
    switch (kind) {
        case Kind::copy:
        case Kind::paste:
        case Kind::saveImage:
        case Kind::share: return true;
        default: return false;
    }
}

std::optional<TavroAction::Kind> kindFromName(std::string_view name) {
    for (std::size_t i = 0; i < kindNames.size(); ++i) {
        if (kindNames[i] == name) return allKinds[i];
    }
    return std::nullopt;
}

}  // namespace tavro
