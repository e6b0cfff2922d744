#include "platform/photos/PickerViewController.h"

#include "platform/photos/AssetResource.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Application.h"

namespace photos {

bool pickerAllows(PickerFilter filter, const Asset& asset) {
    switch (filter) {
    case PickerFilter::any: return true;
    case PickerFilter::images: return asset.mediaType() == MediaType::image;
    case PickerFilter::videos: return asset.mediaType() == MediaType::video;
    }
    return false;
}

PickerViewController::PickerViewController(PickerConfiguration configuration) : configuration_(configuration) {
    setTitle("Photos");
}

void PickerViewController::loadView() {
    // The picker's contents are drawn by another process: the app's view tree holds an opaque
    // view with nothing an assistive reader can see.
    auto v = std::make_shared<ui::View>(ui::Application::shared()->screenBounds());
    v->setBackgroundColor(ui::Color::white());
    v->setAccessibilityElementsHidden(true);
    setView(v);
}

bool PickerViewController::pick(const std::vector<std::string>& assetIdentifiers) {
    if (finished_ || !presentingViewController()) return false;
    std::vector<PickerResult> results;
    const auto all = PhotoLibrary::shared()->allAssets();
    for (const auto& id : assetIdentifiers) {
        if (configuration_.selectionLimit > 0 &&
            results.size() >= static_cast<std::size_t>(configuration_.selectionLimit)) {
            break;
        }
        for (const auto& asset : all) {
            if (asset->localIdentifier() != id || !pickerAllows(configuration_.filter, *asset)) continue;
            PickerResult r{id, {}, {}};
            const auto resources = AssetResource::assetResources(*asset);
            if (!resources.empty()) {
                r.suggestedName = resources.front()->originalFilename();
                r.typeIdentifier = resources.front()->uniformTypeIdentifier();
            }
            results.push_back(std::move(r));
            break;
        }
    }
    if (results.empty()) return false;
    return finish(std::move(results));
}

bool PickerViewController::cancel() {
    if (finished_ || !presentingViewController()) return false;
    return finish({});
}

bool PickerViewController::finish(std::vector<PickerResult> results) {
    finished_ = true;
    auto handler = onFinish_;
    if (handler) handler(*this, std::move(results));
    return true;
}

}  // namespace photos
