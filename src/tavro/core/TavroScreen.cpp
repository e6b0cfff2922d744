#include "tavro/core/TavroScreen.h"

#include "tavro/core/TavroText.h"

namespace tavro {

const TavroElement* TavroScreen::element(std::int64_t id) const {
    for (const auto& e : elements) {
        if (e.id == id) return &e;
    }
    return nullptr;
}

bool TavroScreen::shows(std::string_view name) const {
    const auto wanted = TavroText::norm(name);
    return !wanted.empty() && (TavroText::norm(location) == wanted || TavroText::norm(title) == wanted);
}

}  // namespace tavro
