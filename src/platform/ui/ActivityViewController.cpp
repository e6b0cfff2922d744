#include "platform/ui/ActivityViewController.h"

#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/Pasteboard.h"

namespace ui {

ActivityViewController::ActivityViewController(std::vector<ActivityItem> items) : items_(std::move(items)) {
    setTitle("Share");
    const bool tablet = Application::shared()->userInterfaceIdiom() == Application::Idiom::pad;
    setModalPresentationStyle(tablet ? ModalPresentationStyle::popover : ModalPresentationStyle::pageSheet);
}

void ActivityViewController::loadView() {
    const Rect screen = Application::shared()->screenBounds();
    auto v = std::make_shared<View>(screen);
    v->setBackgroundColor(Color::rgb(242, 242, 247));
    setView(v);
    auto title = std::make_shared<Label>("Share", Rect{16, 8, screen.width - 32, 44});
    title->setAccessibilityTraits(Trait::header);
    v->addSubview(title);
    std::string preview;
    for (const auto& item : items_) {
        if (!preview.empty()) preview += ", ";
        if (const auto* text = std::get_if<std::string>(&item)) {
            preview += *text;
        } else {
            preview += "Image";
        }
    }
    v->addSubview(std::make_shared<Label>(preview, Rect{16, 52, screen.width - 32, 44}));
    std::weak_ptr<ActivityViewController> weak = std::static_pointer_cast<ActivityViewController>(shared_from_this());
    auto copy = std::make_shared<Button>("Copy", Rect{16, 104, screen.width - 32, 44});
    copy->onTap([weak] {
        if (auto self = weak.lock()) self->copyItems();
    });
    v->addSubview(copy);
    auto close = std::make_shared<Button>("Close", Rect{16, 156, screen.width - 32, 44});
    close->onTap([weak] {
        if (auto self = weak.lock()) self->close();
    });
    v->addSubview(close);
}

bool ActivityViewController::copyItems() {
    if (finished_ || !presentingViewController() || items_.empty()) return false;
    const auto& first = items_.front();
    if (const auto* text = std::get_if<std::string>(&first)) {
        Pasteboard::general()->setString(*text);
    } else {
        Pasteboard::general()->setImage(std::get<Image>(first));
    }
    return finish(std::string(copyActivity), true);
}

bool ActivityViewController::close() { return finish({}, false); }

bool ActivityViewController::finish(std::string activity, bool completed) {
    if (finished_ || !presentingViewController() || isBeingDismissed()) return false;
    finished_ = true;
    auto completion = completion_;
    dismiss(true, [completion, activity = std::move(activity), completed] {
        if (completion) completion(activity, completed);
    });
    return true;
}

}  // namespace ui
