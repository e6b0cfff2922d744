#include "platform/ui/Control.h"

#include <algorithm>

namespace ui {

int Control::addAction(ControlEvents events, Handler handler) {
    const int id = nextId_++;
    actions_.push_back({id, events, std::move(handler)});
    return id;
}

void Control::removeAction(int id) {
    std::erase_if(actions_, [id](const Entry& e) { return e.id == id; });
}

bool Control::hasActions(ControlEvents events) const {
    return std::any_of(actions_.begin(), actions_.end(), [events](const Entry& e) { return (e.events & events) != 0; });
}

void Control::sendActions(ControlEvents events) {
    // Handlers may add or remove handlers, or drop the last reference to the control.
    auto keep = shared_from_this();
    std::vector<Handler> due;
    for (const auto& e : actions_) {
        if ((e.events & events) != 0 && e.handler) due.push_back(e.handler);
    }
    for (auto& handler : due) handler(*this);
}

}  // namespace ui
