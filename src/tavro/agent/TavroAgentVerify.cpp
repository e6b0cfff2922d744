// Step verification: after a surface action succeeded, re-read the screen after short waits and
// judge by the action's kind whether it actually did something.
#include <array>
#include <chrono>

#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

using namespace std::chrono_literals;

namespace {

constexpr std::size_t watchedElements = 40;

bool sameFingerprint(const TavroElement& a, const TavroElement& b) {
    return a.label == b.label && a.value == b.value && a.focused == b.focused;
}

}  // namespace

bool TavroAgent::changed(const TavroScreen& a, const TavroScreen& b) {
    if (a.location != b.location) return true;
    if (a.title != b.title) return true;
    if (a.elements.size() != b.elements.size()) return true;
    if (a.keyboardVisible != b.keyboardVisible) return true;
    const std::size_t n = std::min(a.elements.size(), watchedElements);
    for (std::size_t i = 0; i < n; ++i) {
        if (!sameFingerprint(a.elements[i], b.elements[i])) return true;
    }
    return a.text != b.text;
}

rt::Task<bool> TavroAgent::verify(Life& life, const TavroAction& action, const TavroScreen& before) {
    using Kind = TavroAction::Kind;
    const Kind kind = action.kind;
    if (kind != Kind::click && kind != Kind::type && kind != Kind::select && kind != Kind::navigate &&
        kind != Kind::back) {
        co_return true;
    }
    const auto& delays = pacing::verifyReadings;
    const bool waitsForChange = kind == Kind::click || kind == Kind::navigate || kind == Kind::back;

    std::optional<TavroScreen> after;
    for (std::size_t reading = 0; reading < delays.size(); ++reading) {
        (void)co_await life.sleep(delays[reading]);
        after = co_await life.await(activeSurface_, activeSurface_->snapshotAsync());
        if (!after) co_return true;
        if (!waitsForChange || changed(before, *after)) break;
    }

    switch (kind) {
        case Kind::navigate:
        case Kind::back:
            co_return changed(before, *after);
        case Kind::click: {
            if (action.id) {
                const auto* was = before.element(*action.id);
                const auto* now = after->element(*action.id);
                if (was && was->kind == "checkbox" && now) co_return was->value != now->value;
            }
            co_return changed(before, *after);
        }
        case Kind::type: {
            if (action.submit || !action.id) co_return true;
            const auto* field = after->element(*action.id);
            if (!field || field->type == "password") co_return true;
            const auto typed = TavroText::norm(action.text);
            if (typed.empty()) co_return true;
            // A field that shows a value is judged by what it holds (letters and digits only, so a
            // mask that regroups the digits still passes): a length limit that cut the text or
            // keys that never reached a prefilled field fail, focused or not. A field that shows
            // nothing may hide what it holds, so its focus is taken as the sign that typing landed.
            const auto holds = TavroText::norm(field->value);
            if (holds.empty()) co_return field->focused;
            co_return holds.find(typed) != std::string::npos;
        }
        case Kind::select: {
            if (!action.id) co_return true;
            const auto* field = after->element(*action.id);
            if (!field) co_return true;
            // Judged by the option the text chose, folded as the choice folds it: "Francais"
            // chose "Français".
            std::string_view chosen = action.text;
            if (const auto* was = before.element(*action.id); was && !was->options.empty()) {
                if (const auto index = TavroText::option(action.text, was->options)) chosen = was->options[*index];
            }
            const auto choice = TavroText::fold(chosen);
            if (choice.empty()) co_return true;
            co_return TavroText::fold(field->value).find(choice) != std::string::npos;
        }
        default:
            co_return true;
    }
}

}  // namespace tavro
