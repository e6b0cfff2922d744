// Pieces the native surface's reading and performing share: what kind of element a view is, the
// name a view goes by, the part of a window a person can reach, and the controller on top.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace tavro::surfaceparts {

enum class ElementKind : std::uint8_t { none, button, link, checkbox, tab, cell, input, textarea, select, slider, text };

std::string_view kindWord(ElementKind kind);
// The element kind a view is read as (none for views that are not elements); `staticText` tells
// whether the view also shows static text.
ElementKind kindOf(const ui::View& view, bool& staticText);
// Whether a reader looks at the subviews of a view of this role (controls are read whole).
bool readsInside(ui::Role role);
// A context menu, a long-press handler or custom actions.
bool hasPressActions(const ui::View& view);
// Whether the text holds "captcha" in any letter case.
bool mentionsCaptcha(std::string_view text);
// The view's accessibility label, else the label of the row it sits in.
std::string labelOf(const ui::View& view);
// The frontmost modal view of the window when one is up, else the window.
std::shared_ptr<ui::View> readableRoot(const std::shared_ptr<ui::Window>& window);
// The presented controller at the end of the chain, followed down through containers.
std::shared_ptr<ui::ViewController> topController(const ui::Window& window);
bool isTextInput(const ui::View* view);

// What an action works on: the app window, the part of it a person can reach, and the element the
// action names found again in the window as it is now (no view for actions without an element).
struct Target {
    std::shared_ptr<ui::Window> window;
    std::shared_ptr<ui::View> root;
    std::shared_ptr<ui::View> view;
    std::int64_t id = 0;
    ui::Role role = ui::Role::none;
    std::string name;  // the view's label, else "element <id>"
};

}  // namespace tavro::surfaceparts
