#include "platform/ui/Switch.h"

namespace ui {

bool Switch::tap() {
    if (!acceptsTouches()) return false;
    on_ = !on_;
    sendActions(ControlEvent::valueChanged | ControlEvent::primaryActionTriggered);
    return true;
}

}  // namespace ui
