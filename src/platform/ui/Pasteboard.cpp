#include "platform/ui/Pasteboard.h"

namespace ui {

namespace {
std::shared_ptr<Pasteboard>& generalSlot() {
    static auto board = std::make_shared<Pasteboard>();
    return board;
}
}  // namespace

std::shared_ptr<Pasteboard> Pasteboard::general() { return generalSlot(); }

void Pasteboard::resetGeneral() { general()->clear(); }

std::optional<std::string> Pasteboard::string() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void Pasteboard::setString(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
    image_.reset();
    ++changes_;
}

std::optional<Image> Pasteboard::image() const {
    std::lock_guard lock(mutex_);
    return image_;
}

void Pasteboard::setImage(Image image) {
    std::lock_guard lock(mutex_);
    image_ = std::move(image);
    text_.reset();
    ++changes_;
}

bool Pasteboard::hasStrings() const {
    std::lock_guard lock(mutex_);
    return text_.has_value();
}

bool Pasteboard::hasImages() const {
    std::lock_guard lock(mutex_);
    return image_.has_value();
}

int Pasteboard::changeCount() const {
    std::lock_guard lock(mutex_);
    return changes_;
}

void Pasteboard::clear() {
    std::lock_guard lock(mutex_);
    if (!text_ && !image_) return;
    text_.reset();
    image_.reset();
    ++changes_;
}

}  // namespace ui
