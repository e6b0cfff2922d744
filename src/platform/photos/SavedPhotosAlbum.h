// Saving an image to the photo library's saved photos, the way an app hands over a picture
// without reading the library: the call returns at once, and later the target object is told on
// the main actor whether the image was saved. Saving needs add access; when access has not been
// decided yet, the permission prompt is shown first.
#pragma once

#include <memory>
#include <optional>

#include "platform/photos/Error.h"
#include "platform/ui/Image.h"

namespace photos {

// The object told when a save has finished.
class ImageSaveTarget {
public:
    virtual ~ImageSaveTarget() = default;
    // `error` is nothing when the image was saved.
    virtual void finishedSaving(const ui::Image& image, const std::optional<Error>& error) = 0;
};

// Saves the image as a new photo (a PNG file "IMG_nnnn.PNG"). The target is kept until it has
// been told; without a target the result is not reported.
void imageWriteToSavedPhotosAlbum(ui::Image image, std::shared_ptr<ImageSaveTarget> target);

}  // namespace photos
