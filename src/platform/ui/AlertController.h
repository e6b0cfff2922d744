// An alert or action sheet with a title, a message and buttons for its actions. A person's tap on
// an action dismisses the alert and then runs the action's handler.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"

namespace ui {

struct AlertAction {
    enum class Style : std::uint8_t { normal, cancel, destructive };
    std::string title;
    Style style = Style::normal;
    std::function<void()> handler;
    bool enabled = true;
};

class AlertController : public ViewController {
public:
    enum class Style : std::uint8_t { alert, actionSheet };

    AlertController(std::string title, std::string message, Style style = Style::alert);

    std::string_view className() const override { return "UIAlertController"; }

    const std::string& message() const { return message_; }
    Style preferredStyle() const { return style_; }
    void addAction(AlertAction action);
    const std::vector<AlertAction>& actions() const { return actions_; }
    // The first action of the cancel style.
    std::optional<std::size_t> cancelActionIndex() const;
    // A person's tap on the action: dismisses the alert (animated) and runs the handler when the
    // dismissal is over. False for an index out of range, a disabled action or an alert that is
    // not on screen or already answered.
    bool tapAction(std::size_t index);
    // The button that stands for the action (after the view has loaded).
    std::shared_ptr<Button> buttonForAction(std::size_t index);

protected:
    void loadView() override;
    Rect presentationFrame(const Rect& windowBounds) const override;

private:
    double contentHeight() const;
    std::string message_;
    std::vector<AlertAction> actions_;
    std::vector<std::shared_ptr<Button>> buttons_;
    Style style_;
    bool answered_ = false;
};

}  // namespace ui
