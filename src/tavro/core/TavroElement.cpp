#include "tavro/core/TavroElement.h"

namespace tavro {

const std::set<std::string>& TavroElement::fieldKinds() {
    static const std::set<std::string> kinds{"input", "textarea", "select", "slider"};
    return kinds;
}

const std::set<std::string>& TavroElement::tapKinds() {
    static const std::set<std::string> kinds{"button", "link", "checkbox", "tab", "cell"};
    return kinds;
}

}  // namespace tavro
