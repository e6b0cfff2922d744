// What the agent shows on screen: the glowing edge, the pointer with its caption and tap ripple,
// and the in-app browser window. The overlay implements it; tests use a recording presenter. The
// agent holds its presenter weakly (std::weak_ptr) and only tests for its presence where a step
// needs one; every call is made on the main actor.
#pragma once

#include <memory>
#include <string>

#include "platform/runtime/Task.h"
#include "platform/ui/Geometry.h"
#include "tavro/core/TavroElement.h"

namespace tavro {

class WebSurface;

class TavroPresenter {
public:
    // The in-app browser as opened: its surface and the offset of the web view within its window.
    struct WebPage {
        std::shared_ptr<WebSurface> surface;
        ui::Point inset;
    };

    virtual ~TavroPresenter() = default;

    // Shows or hides the glowing screen edge, in its running or its waiting style.
    virtual void setGlow(bool visible, bool waiting) = 0;
    // Moves the pointer to the rectangle (window points) and shows the label; returns after the
    // move and a pause of 600 ms.
    virtual rt::Task<void> point(TavroRect at, std::string label) = 0;
    // Shows the text in the pointer's caption (placing the pointer first when it is hidden);
    // returns after its short animation and pause.
    virtual rt::Task<void> say(std::string text) = 0;
    // Plays the tap ripple at the pointer; returns when it has played.
    virtual rt::Task<void> tap() = 0;
    // Fades the pointer out.
    virtual void hideCursor() = 0;
    // Collapses the panel.
    virtual void collapse() = 0;
    // Opens the in-app browser window. Its close control stops the agent's run.
    virtual WebPage showWeb() = 0;
    // Hides and drops the in-app browser window, if any.
    virtual void hideWeb() = 0;

protected:
    TavroPresenter() = default;
    TavroPresenter(const TavroPresenter&) = default;
    TavroPresenter& operator=(const TavroPresenter&) = default;
};

}  // namespace tavro
