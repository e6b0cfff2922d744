// Checking a proposed action against its screen, and describing an action for people.
#include <string>
#include <string_view>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroScreen.h"
#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

using Kind = TavroAction::Kind;
using Validation = TavroAction::Validation;

Validation accept(TavroAction action) { return Validation{.action = std::move(action), .hint = std::nullopt}; }

Validation refuse(std::string hint) { return Validation{.action = std::nullopt, .hint = std::move(hint)}; }

std::string idText(const std::optional<std::int64_t>& id) { return id ? std::to_string(*id) : std::string("none"); }

Validation notInElements(const std::optional<std::int64_t>& id) {
    return refuse("id " + idText(id) + " is not in ELEMENTS");
}

bool onScreen(const std::optional<std::int64_t>& id, const TavroScreen& screen) {
    return id && screen.element(*id) != nullptr;
}

// `type` and `select`: a missing id for typing is taken from the focused element, and the kind is
// set from the element it lands on.
Validation checkValueAction(TavroAction action, const TavroScreen& screen) {
    if (!action.id) {
        if (action.kind == Kind::type) {
            for (const auto& e : screen.elements) {
                if (e.focused) {
                    action.id = e.id;
                    break;
                }
            }
        }
        if (!action.id) return notInElements(std::nullopt);
    }
    const TavroElement* element = screen.element(*action.id);
    if (element == nullptr) return notInElements(action.id);

    const std::string& kind = element->kind;
    if (kind == "select" || kind == "slider" || kind == "input" || kind == "textarea") {
        action.kind = (kind == "select" || kind == "slider") ? Kind::select : Kind::type;
        if (action.text.empty()) return refuse("text is empty");
        return accept(std::move(action));
    }
    if (kind == "checkbox" || action.kind == Kind::select) {
        action.kind = Kind::click;
        return accept(std::move(action));
    }
    return refuse("element " + std::to_string(*action.id) + " is a " + kind + ", not a text field; use click");
}

}  // namespace

TavroAction::Validation TavroAction::validate(const TavroAction& action, const TavroScreen& on,
                                              const std::vector<std::string>& routes) {
    switch (action.kind) {
        case Kind::back:
        case Kind::done:
        case Kind::fail:
        case Kind::paste:
        case Kind::saveImage:
        case Kind::share:
            return accept(action);
        case Kind::click:
        case Kind::longPress:
            if (!onScreen(action.id, on)) return notInElements(action.id);
            return accept(action);
        case Kind::type:
        case Kind::select:
            return checkValueAction(action, on);
        case Kind::scroll: {
            TavroAction fixed = action;
            fixed.text = TavroText::lower(action.text).find("up") != std::string::npos ? "up" : "down";
            return accept(std::move(fixed));
        }
        case Kind::swipe: {
            const std::string lowered = TavroText::lower(action.text);
            std::optional<std::string> direction;
            for (const char* word : {"left", "right", "up", "down"}) {
                if (lowered.find(word) != std::string::npos) {
                    direction = word;
                    break;
                }
            }
            if (!direction) return refuse("swipe needs text left, right, up or down");
            if (action.id && on.element(*action.id) == nullptr) return notInElements(action.id);
            TavroAction fixed = action;
            fixed.text = std::move(*direction);
            return accept(std::move(fixed));
        }
        case Kind::navigate: {
            if (auto route = TavroText::match(action.text, routes)) {
                TavroAction fixed = action;
                fixed.text = std::move(*route);
                return accept(std::move(fixed));
            }
            if (routes.empty()) return refuse("navigate is not available here; tap the app's buttons instead");
            return refuse("text must be one of ROUTES");
        }
        case Kind::ask:
            if (action.text.empty()) return refuse("ask needs the question in text");
            return accept(action);
        case Kind::openWeb:
            if (action.text.empty()) return refuse("openWeb needs a web address or search text");
            return accept(action);
        case Kind::copy:
            if (action.text.empty() && !action.id) return refuse("copy needs text, or the id of something to copy");
            return accept(action);
    }
    return accept(action);
}

std::string TavroAction::describe(const TavroScreen* screen) const {
    const TavroElement* element = (id && screen != nullptr) ? screen->element(*id) : nullptr;
    std::string name;
    if (element != nullptr && !element->label.empty()) {
        name = element->label;
    } else {
        name = "#";
        name += std::to_string(id.value_or(-1));
    }
    const std::string& t = text;

    switch (kind) {
        case Kind::click:
            return L("Tap “" + name + "”", "「" + name + "」をタップ");
        case Kind::type: {
            const std::string shown = (element != nullptr && element->type == "password") ? "••••" : t;
            std::string en = "Type “" + shown + "” into " + name;
            std::string ja = name + " に「" + shown + "」を入力";
            if (submit) {
                en += " and submit";
                ja += "して確定";
            }
            return L(en, ja);
        }
        case Kind::select:
            return L("Set " + name + " to “" + t + "”", name + " を「" + t + "」に設定");
        case Kind::scroll:
            return t == "up" ? L("Scroll up", "上にスクロール") : L("Scroll down", "下にスクロール");
        case Kind::swipe:
            if (!id) return L("Swipe " + t, t + "にスワイプ");
            return L("Swipe " + t + " on " + name, name + "を" + t + "にスワイプ");
        case Kind::longPress:
            return L("Long-press " + name, name + "を長押し");
        case Kind::navigate:
            return L("Open " + t, t + " を開く");
        case Kind::back:
            return L("Go back", "戻る");
        case Kind::ask:
        case Kind::done:
        case Kind::fail:
            return t;
        case Kind::openWeb:
            return L("Open a browser for “" + t + "”", "ブラウザで「" + t + "」を開く");
        case Kind::copy:
            if (t.empty()) return L("Copy " + name, "「" + name + "」をコピー");
            return L("Copy “" + t + "”", "「" + t + "」をコピー");
        case Kind::paste:
            return L("Paste into " + name, name + " に貼り付け");
        case Kind::saveImage:
            return L("Save the image to Photos", "画像を写真に保存");
        case Kind::share:
            if (t.empty()) return L("Share " + name, "「" + name + "」を共有");
            return L("Share “" + t + "”", "「" + t + "」を共有");
    }
    return t;
}

}  // namespace tavro
