#include "platform/ui/SegmentedControl.h"

namespace ui {

void SegmentedControl::setSegments(std::vector<std::string> segments) {
    segments_ = std::move(segments);
    if (selected_ >= static_cast<int>(segments_.size())) selected_ = -1;
}

void SegmentedControl::setSelectedSegmentIndex(int index) {
    selected_ = index >= 0 && index < static_cast<int>(segments_.size()) ? index : -1;
}

bool SegmentedControl::selectSegment(int index) {
    if (!acceptsTouches() || index < 0 || index >= static_cast<int>(segments_.size())) return false;
    if (index == selected_) return true;
    selected_ = index;
    sendActions(ControlEvent::valueChanged | ControlEvent::primaryActionTriggered);
    return true;
}

std::string SegmentedControl::selectedTitle() const {
    return selected_ >= 0 && selected_ < static_cast<int>(segments_.size()) ? segments_[selected_] : std::string();
}

}  // namespace ui
