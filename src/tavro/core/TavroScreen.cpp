#include "tavro/core/TavroScreen.h"

namespace tavro {

const TavroElement* TavroScreen::element(std::int64_t id) const {
    for (const auto& e : elements) {
        if (e.id == id) return &e;
    }
    return nullptr;
}

}  // namespace tavro
