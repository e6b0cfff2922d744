// A segmented control: a row of titled segments of which one is selected.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Control.h"

namespace ui {

class SegmentedControl : public Control {
public:
    SegmentedControl() = default;
    explicit SegmentedControl(std::vector<std::string> segments, const Rect& frame = {})
        : Control(frame), segments_(std::move(segments)) {}

    std::string_view className() const override { return "UISegmentedControl"; }
    Role role() const override { return Role::segmented; }

    const std::vector<std::string>& segments() const { return segments_; }
    void setSegments(std::vector<std::string> segments);
    // -1 when none is selected.
    int selectedSegmentIndex() const { return selected_; }
    // Selects without sending events (as code does); an index out of range selects none.
    void setSelectedSegmentIndex(int index);
    // A person's tap on a segment: selects it and sends value-changed when it changed. False
    // when the control cannot be touched or the index is out of range.
    bool selectSegment(int index);
    std::string selectedTitle() const;

protected:
    std::string defaultAccessibilityValue() const override { return selectedTitle(); }

private:
    std::vector<std::string> segments_;
    int selected_ = -1;
};

}  // namespace ui
