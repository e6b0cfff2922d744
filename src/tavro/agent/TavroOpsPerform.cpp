// The agent's local operations: copy, paste, save image and share, done by the agent itself rather
// than by a screen surface.
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroOps.h"
#include "tavro/surfaces/TavroSurface.h"
#include "platform/ui/Pasteboard.h"

namespace tavro {

rt::Task<std::optional<std::string>> TavroAgent::performOp(Life& life, TavroAction action, TavroScreen screen) {
    using Kind = TavroAction::Kind;
    switch (action.kind) {
        case Kind::copy: {
            std::string text = action.text;
            if (text.empty() && action.id) {
                if (const auto* element = screen.element(*action.id)) {
                    text = element->value.empty() ? element->label : element->value;
                }
            }
            if (text.empty()) co_return "failed: nothing to copy";
            ui::Pasteboard::general()->setString(std::move(text));
            co_return std::nullopt;
        }
        case Kind::paste: {
            std::string text = action.text;
            if (text.empty()) text = ui::Pasteboard::general()->string().value_or("");
            if (text.empty()) co_return "failed: the clipboard is empty";
            if (!action.id) co_return "failed: paste needs a field";
            TavroAction typing;
            typing.kind = Kind::type;
            typing.id = action.id;
            typing.text = std::move(text);
            typing.submit = action.submit;
            auto failure = co_await life.await(activeSurface_, activeSurface_->perform(typing));
            if (failure) co_return failure;
            // A paste is judged as typing what was pasted is: by what the field holds.
            const Effect effect = co_await verify(life, typing, screen);
            if (!effect.took) co_return "failed: " + effect.failure();
            co_return std::nullopt;
        }
        case Kind::saveImage: {
            auto image = TavroOps::windowImage(TavroOps::appWindow(surface_));
            if (!image) co_return "failed: nothing to save";
            co_return co_await life.await(TavroOps::saveToPhotos(std::move(*image)));
        }
        case Kind::share: {
            const auto window = TavroOps::appWindow(surface_);
            std::vector<ui::ActivityItem> items;
            if (!action.text.empty()) {
                items.emplace_back(action.text);
            } else if (auto image = TavroOps::windowImage(window)) {
                items.emplace_back(std::move(*image));
            }
            if (items.empty()) co_return "failed: nothing to share";
            co_return TavroOps::share(std::move(items), window);
        }
        default: co_return "failed: not an operation";
    }
}

}  // namespace tavro
