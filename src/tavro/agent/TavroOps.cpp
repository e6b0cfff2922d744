#include "tavro/agent/TavroOps.h"

#include <functional>

#include "platform/photos/SavedPhotosAlbum.h"
#include "platform/runtime/Continuation.h"
#include "platform/ui/ViewController.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro {

namespace {

// The object the photo library tells when a save has finished; it holds the completion of the one
// pending save.
class PhotoSaver : public photos::ImageSaveTarget {
public:
    static const std::shared_ptr<PhotoSaver>& shared() {
        static const std::shared_ptr<PhotoSaver> saver = std::make_shared<PhotoSaver>();
        return saver;
    }

    std::function<void(std::optional<std::string>)> done;

    void finishedSaving(const ui::Image&, const std::optional<photos::Error>& error) override {
        auto finish = std::exchange(done, nullptr);
        if (!finish) return;
        if (error) {
            finish("failed: " + error->localizedDescription);
        } else {
            finish(std::nullopt);
        }
    }
};

}  // namespace

std::shared_ptr<ui::Window> TavroOps::appWindow(const std::shared_ptr<TavroSurface>& nativeSurface) {
    if (const auto native = std::dynamic_pointer_cast<UIKitSurface>(nativeSurface)) return native->appWindow();
    return nullptr;
}

std::optional<ui::Image> TavroOps::windowImage(const std::shared_ptr<ui::Window>& window) {
    if (!window) return std::nullopt;
    auto image = ui::ImageRenderer(window->bounds().size()).image(*window);
    if (image.isEmpty()) return std::nullopt;
    return image;
}

rt::Task<std::optional<std::string>> TavroOps::saveToPhotos(ui::Image image) {
    const auto& saver = PhotoSaver::shared();
    // Replacing the pending completion would leave its caller waiting for ever, or hand it the
    // other image's answer.
    if (saver->done) co_return "failed: another save to Photos is still in progress";
    rt::Continuation<std::optional<std::string>> result;
    saver->done = [result](std::optional<std::string> text) { result.resume(std::move(text)); };
    photos::imageWriteToSavedPhotosAlbum(std::move(image), saver);
    co_return co_await result;
}

std::optional<std::string> TavroOps::share(std::vector<ui::ActivityItem> items,
                                           const std::shared_ptr<ui::Window>& window) {
    if (!window || !window->rootViewController()) return "failed: nothing to share from";
    auto presenter = window->rootViewController();
    for (auto next = presenter->presentedViewController();
         next && !std::dynamic_pointer_cast<ui::ActivityViewController>(next);
         next = presenter->presentedViewController()) {
        presenter = next;
    }
    auto sheet = std::make_shared<ui::ActivityViewController>(std::move(items));
    if (auto* popover = sheet->popoverPresentationController()) {
        const auto view = presenter->view();
        const auto bounds = view->bounds();
        popover->sourceView = view;
        popover->sourceRect = ui::Rect{bounds.midX(), bounds.maxY() - 40, 1, 1};
        popover->permittedArrowDirections = 0;
    }
    // A share sheet still up over the presenter would make the presentation fail unseen: it goes
    // first, so the person sees the new sheet.
    if (presenter->presentedViewController()) presenter->dismiss(false);
    if (!presenter->present(sheet, true)) return "failed: the share sheet could not be shown";
    return std::nullopt;
}

}  // namespace tavro
