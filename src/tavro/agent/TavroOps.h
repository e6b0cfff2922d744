// The device work behind the agent's local operations: a picture of the app window, saving an
// image to the photo library, and the share sheet. The agent's copy, paste, save-image and share
// actions use these; each answers nothing on success or a one-line text beginning "failed: ".
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/Task.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/Image.h"
#include "platform/ui/Window.h"

namespace tavro {

class TavroSurface;

class TavroOps {
public:
    TavroOps() = delete;

    // The window the local operations work on: the native surface's app window when it is the
    // host app's UIKitSurface, else nothing. An open in-app browser does not change it.
    static std::shared_ptr<ui::Window> appWindow(const std::shared_ptr<TavroSurface>& nativeSurface);

    // The window's view tree drawn at its size; nothing without a window (or for an empty one).
    static std::optional<ui::Image> windowImage(const std::shared_ptr<ui::Window>& window);

    // Saves the image to the photo library and waits for the library's answer: nothing when it
    // was saved, else "failed: " and the library's description. One save is pending at a time; a
    // save started while another is pending fails at once and leaves the pending one alone.
    static rt::Task<std::optional<std::string>> saveToPhotos(ui::Image image);

    // Presents the share sheet with the items over the top of the window's presented chain and
    // returns at once; the person's choice is not awaited. A share sheet already up is never the
    // presenter: it is closed and the new sheet comes from the controller beneath it. On a tablet the sheet is a popover pointing at the middle of
    // the presenting view, 40 points above its bottom edge, without an arrow.
    static std::optional<std::string> share(std::vector<ui::ActivityItem> items,
                                            const std::shared_ptr<ui::Window>& window);
};

}  // namespace tavro
