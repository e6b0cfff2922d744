// The share sheet: offers the items (texts and images) to share. On a tablet it is a popover
// pointing at a source view. A person copies the items to the pasteboard or closes the sheet;
// either way the sheet is dismissed and the completion handler told.
#pragma once

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewController.h"

namespace ui {

using ActivityItem = std::variant<std::string, Image>;

class ActivityViewController : public ViewController {
public:
    // The activity type a copy reports.
    static constexpr std::string_view copyActivity = "copyToPasteboard";

    explicit ActivityViewController(std::vector<ActivityItem> items);

    std::string_view className() const override { return "UIActivityViewController"; }

    const std::vector<ActivityItem>& activityItems() const { return items_; }
    // Told once, with the activity type (empty when closed) and whether it completed.
    void setCompletionHandler(std::function<void(const std::string& activity, bool completed)> handler) {
        completion_ = std::move(handler);
    }
    // A person copies the items: the first text or image goes to the general pasteboard.
    bool copyItems();
    // A person closes the sheet.
    bool close();

protected:
    void loadView() override;

private:
    bool finish(std::string activity, bool completed);
    std::vector<ActivityItem> items_;
    std::function<void(const std::string&, bool)> completion_;
    bool finished_ = false;
};

}  // namespace ui
