// A control: a view that is enabled or not and runs the host's handlers for its events (touch up,
// value changed, editing began, changed or ended, Return), as the target-action pattern does.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ui/View.h"

namespace ui {

// Control events, combined as bits.
using ControlEvents = std::uint32_t;
namespace ControlEvent {
inline constexpr ControlEvents touchUpInside = 1u << 0;
inline constexpr ControlEvents valueChanged = 1u << 1;
inline constexpr ControlEvents editingDidBegin = 1u << 2;
inline constexpr ControlEvents editingChanged = 1u << 3;
inline constexpr ControlEvents editingDidEnd = 1u << 4;
inline constexpr ControlEvents editingDidEndOnExit = 1u << 5;
inline constexpr ControlEvents primaryActionTriggered = 1u << 6;
}  // namespace ControlEvent

class Control : public View {
public:
    using Handler = std::function<void(Control&)>;

    using View::View;

    std::string_view className() const override { return "UIControl"; }

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { selected_ = selected; }

    // Adds a handler for the events; returns a number that removes it again.
    int addAction(ControlEvents events, Handler handler);
    void removeAction(int id);
    bool hasActions(ControlEvents events) const;
    // Runs the handlers registered for any of the events, in the order they were added.
    void sendActions(ControlEvents events);

    // Enabled and reachable by touch.
    bool acceptsTouches() const { return enabled_ && receivesTouches(); }

protected:
    Traits defaultTraits() const override { return enabled_ ? Trait::none : Trait::notEnabled; }

private:
    struct Entry {
        int id;
        ControlEvents events;
        Handler handler;
    };
    std::vector<Entry> actions_;
    int nextId_ = 1;
    bool enabled_ = true;
    bool selected_ = false;
};

}  // namespace ui
