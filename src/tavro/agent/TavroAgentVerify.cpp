// Step verification: after a surface action succeeded, re-read the screen after short waits and
// judge by the action's kind whether it actually did something.
#include <array>
#include <chrono>

#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/core/TavroFieldValue.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

using namespace std::chrono_literals;

namespace {

constexpr std::size_t watchedElements = 40;

// With `pressed`, the focus that element gained is no change: a press focuses what it presses,
// whether or not the press did anything.
bool sameFingerprint(const TavroElement& a, const TavroElement& b, std::optional<std::int64_t> pressed) {
    const bool focusGiven = pressed && b.id == *pressed && !a.focused && b.focused;
    return a.label == b.label && a.value == b.value && (a.focused == b.focused || focusGiven);
}

bool differs(const TavroScreen& a, const TavroScreen& b, std::optional<std::int64_t> pressed) {
    if (a.location != b.location) return true;
    if (a.title != b.title) return true;
    if (a.elements.size() != b.elements.size()) return true;
    if (a.keyboardVisible != b.keyboardVisible) return true;
    const std::size_t n = std::min(a.elements.size(), watchedElements);
    for (std::size_t i = 0; i < n; ++i) {
        if (!sameFingerprint(a.elements[i], b.elements[i], pressed)) return true;
    }
    return a.text != b.text;
}

// The control an action aimed at, in a later reading: the element with its id, else the one of
// the same kind and label that the page put in its place. A replaced field is judged by what the
// new one holds, not passed because the old id is gone.
const TavroElement* again(const TavroScreen& before, const TavroScreen& after, std::int64_t id) {
    if (const auto* same = after.element(id)) return same;
    const auto* was = before.element(id);
    if (!was) return nullptr;
    const std::string label = TavroText::norm(was->label);
    if (label.empty()) return nullptr;
    for (const auto& e : after.elements) {
        if (e.kind == was->kind && TavroText::norm(e.label) == label) return &e;
    }
    return nullptr;
}

}  // namespace

bool TavroAgent::changed(const TavroScreen& a, const TavroScreen& b) { return differs(a, b, std::nullopt); }

rt::Task<TavroAgent::Effect> TavroAgent::verify(Life& life, const TavroAction& action, const TavroScreen& before) {
    using Kind = TavroAction::Kind;
    const Kind kind = action.kind;
    if (kind != Kind::click && kind != Kind::type && kind != Kind::select && kind != Kind::navigate &&
        kind != Kind::back) {
        co_return true;
    }
    const auto& delays = pacing::verifyReadings;
    const bool waitsForChange = kind == Kind::click || kind == Kind::navigate || kind == Kind::back;
    const std::optional<std::int64_t> pressed = kind == Kind::click ? action.id : std::nullopt;

    std::optional<TavroScreen> after;
    for (std::size_t reading = 0; reading < delays.size(); ++reading) {
        (void)co_await life.sleep(delays[reading]);
        after = co_await life.await(activeSurface_, activeSurface_->snapshotAsync());
        if (!after) co_return true;
        if (!waitsForChange || differs(before, *after, pressed)) break;
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
            co_return differs(before, *after, pressed);
        }
        case Kind::type: {
            if (action.submit || !action.id) co_return true;
            const auto* field = again(before, *after, *action.id);
            if (!field || field->type == "password") co_return true;
            // Typing is judged by what the field holds. A field that shows nothing may hide what
            // it holds, so its focus is then the sign that the typing landed.
            switch (TavroFieldValue::compare(field->value, action.text)) {
                case TavroFieldValue::Shows::asked: co_return true;
                case TavroFieldValue::Shows::nothing: co_return field->focused;
                case TavroFieldValue::Shows::other: break;
            }
            co_return Effect(false, TavroFieldValue::holdsInstead(*field, action.text));
        }
        case Kind::select: {
            if (!action.id) co_return true;
            const auto* field = again(before, *after, *action.id);
            if (!field || TavroText::fold(action.text).empty()) co_return true;
            const auto* was = before.element(*action.id);
            bool holds = false;
            if (field->kind == "slider") {
                // A slider holds a number: "10" does not hold 1.
                std::string_view chosen = action.text;
                if (was && !was->options.empty()) {
                    if (const auto index = TavroText::option(action.text, was->options)) chosen = was->options[*index];
                }
                holds = TavroFieldValue::compare(field->value, chosen) == TavroFieldValue::Shows::asked;
            } else {
                // The option held must be the option chosen, by the rule the choice is made with:
                // "Francais" chose "Français"; "10" is not 1, nor "Mug + Insurance" Mug.
                const auto& options = !field->options.empty() || !was ? field->options : was->options;
                holds = TavroFieldValue::holdsOption(field->value, action.text, options);
            }
            if (holds) co_return true;
            co_return Effect(false, TavroFieldValue::holdsInstead(*field, action.text));
        }
        default:
            co_return true;
    }
}

}  // namespace tavro
