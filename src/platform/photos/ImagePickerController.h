// The older system image picker: a sheet that shows the photo library (or the camera) outside the
// app's reach. A person picks one photo or cancels; the picker tells the matching handler and the
// app dismisses it. Without a cancel handler a cancelled picker dismisses itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/photos/Asset.h"
#include "platform/ui/ViewController.h"

namespace photos {

class ImagePickerController : public ui::ViewController {
public:
    enum class SourceType { photoLibrary, camera, savedPhotosAlbum };

    // What the picker hands over for a picked photo.
    struct Info {
        std::string mediaType;          // the picked item's kind, "public.image" or "public.movie"
        std::string assetIdentifier;
        std::string originalFilename;
        std::vector<std::uint8_t> imageData;  // the photo's file contents, empty when unavailable
    };

    ImagePickerController();

    std::string_view className() const override { return "UIImagePickerController"; }

    SourceType sourceType() const { return sourceType_; }
    void setSourceType(SourceType type) { sourceType_ = type; }
    void setOnFinishPicking(std::function<void(ImagePickerController&, Info)> handler) { onPick_ = std::move(handler); }
    void setOnCancel(std::function<void(ImagePickerController&)> handler) { onCancel_ = std::move(handler); }

    // ---- what a person does inside the picker ----
    // Picks the asset with that identifier. False when the picker is not on screen, has finished,
    // or no such asset exists.
    bool pick(const std::string& assetIdentifier);
    bool cancel();
    bool hasFinished() const { return finished_; }

protected:
    void loadView() override;

private:
    SourceType sourceType_ = SourceType::photoLibrary;
    std::function<void(ImagePickerController&, Info)> onPick_;
    std::function<void(ImagePickerController&)> onCancel_;
    bool finished_ = false;
};

}  // namespace photos
