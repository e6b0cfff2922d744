// The general pasteboard: holds a text or an image that the app copied. Safe from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/ui/Image.h"

namespace ui {

class Pasteboard {
public:
    static std::shared_ptr<Pasteboard> general();
    // Empties the general pasteboard (tests).
    static void resetGeneral();

    Pasteboard() = default;
    Pasteboard(const Pasteboard&) = delete;
    Pasteboard& operator=(const Pasteboard&) = delete;

    std::optional<std::string> string() const;
    // Replaces the contents with the text.
    void setString(std::string text);
    std::optional<Image> image() const;
    // Replaces the contents with the image.
    void setImage(Image image);
    bool hasStrings() const;
    bool hasImages() const;
    // Grows by one with every change of the contents.
    int changeCount() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::optional<std::string> text_;
    std::optional<Image> image_;
    int changes_ = 0;
};

}  // namespace ui
