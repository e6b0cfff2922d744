#include "platform/photos/ImagePickerController.h"

#include "platform/photos/AssetResource.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Application.h"

namespace photos {

ImagePickerController::ImagePickerController() {
    setTitle("Photos");
    setModalPresentationStyle(ui::ModalPresentationStyle::fullScreen);
}

void ImagePickerController::loadView() {
    // Drawn by the system outside the app: nothing inside is readable.
    auto v = std::make_shared<ui::View>(ui::Application::shared()->screenBounds());
    v->setBackgroundColor(ui::Color::white());
    v->setAccessibilityElementsHidden(true);
    setView(v);
}

bool ImagePickerController::pick(const std::string& assetIdentifier) {
    if (finished_ || !presentingViewController()) return false;
    for (const auto& asset : PhotoLibrary::shared()->allAssets()) {
        if (asset->localIdentifier() != assetIdentifier) continue;
        Info info;
        info.mediaType = asset->mediaType() == MediaType::video ? "public.movie" : "public.image";
        info.assetIdentifier = assetIdentifier;
        const auto resources = AssetResource::assetResources(*asset);
        if (!resources.empty()) {
            info.originalFilename = resources.front()->originalFilename();
            if (auto data = resourceData(*resources.front())) info.imageData = std::move(*data);
        }
        finished_ = true;
        if (onPick_) onPick_(*this, std::move(info));
        return true;
    }
    return false;
}

bool ImagePickerController::cancel() {
    if (finished_ || !presentingViewController()) return false;
    finished_ = true;
    if (onCancel_) {
        onCancel_(*this);
    } else {
        dismiss(true);
    }
    return true;
}

}  // namespace photos
