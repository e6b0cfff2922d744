#include "platform/ui/Button.h"

namespace ui {

int Button::onTap(std::function<void()> handler) {
    return addAction(ControlEvent::touchUpInside, [handler = std::move(handler)](Control&) { handler(); });
}

bool Button::tap() {
    if (!acceptsTouches()) return false;
    sendActions(ControlEvent::touchUpInside | ControlEvent::primaryActionTriggered);
    return true;
}

}  // namespace ui
