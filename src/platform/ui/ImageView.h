// A view that shows an image.
#pragma once

#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace ui {

class ImageView : public View {
public:
    ImageView() = default;
    explicit ImageView(std::shared_ptr<const Image> image, const Rect& frame = {})
        : View(frame), image_(std::move(image)) {}

    std::string_view className() const override { return "UIImageView"; }
    Role role() const override { return Role::image; }

    const std::shared_ptr<const Image>& image() const { return image_; }
    void setImage(std::shared_ptr<const Image> image) { image_ = std::move(image); }

protected:
    Traits defaultTraits() const override { return Trait::image; }

private:
    std::shared_ptr<const Image> image_;
};

}  // namespace ui
