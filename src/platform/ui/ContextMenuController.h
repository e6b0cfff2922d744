// The context menu a long press shows: the menu's actions as a list over the screen. A person's tap
// on an action closes the menu and then runs the action's handler; closing it runs nothing.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"

namespace ui {

class ContextMenuController : public ViewController {
public:
    ContextMenuController(Menu menu, std::weak_ptr<View> source);

    std::string_view className() const override { return "UIContextMenu"; }

    const Menu& menu() const { return menu_; }
    std::shared_ptr<View> sourceView() const { return source_.lock(); }
    // A person's tap on the action: the menu closes (animated), then the handler runs.
    bool tapAction(std::size_t index);
    // Closes the menu without running anything.
    void close(bool animated);

protected:
    void loadView() override;
    Rect presentationFrame(const Rect& windowBounds) const override;

private:
    Menu menu_;
    std::weak_ptr<View> source_;
    std::vector<std::shared_ptr<Button>> buttons_;
    bool answered_ = false;
};

}  // namespace ui
