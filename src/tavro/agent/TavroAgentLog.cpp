// How a run becomes visible: lines of the run log (copied to the QA log), captions on the pointer,
// and the pointer moving to the element an action is about to touch.
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroPresenter.h"
#include "tavro/diagnostics/TavroLog.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

void TavroAgent::add(std::string text, bool ok, std::int64_t ms) {
    std::string qa = ok ? "✓ " : "✗ ";
    qa += text;
    if (ms >= 1) qa += " (" + std::to_string(ms) + " ms)";
    auto lines = log_.value();
    lines.push_back(LogLine{fnd::Uuid::random(), std::move(text), ok, ms});
    log_.set(std::move(lines));
    TavroLog::add(qa);
}

rt::Task<void> TavroAgent::say(Life& life, std::string text) {
    if (!configuration.showsCursor) co_return;
    auto shown = presenter.lock();
    if (!shown) co_return;
    co_await life.await(shown, shown->say(std::move(text)));
}

rt::Task<void> TavroAgent::point(Life& life, const TavroAction& action, std::string caption) {
    if (!configuration.showsCursor) co_return;
    auto shown = presenter.lock();
    if (!shown) co_return;
    using Kind = TavroAction::Kind;
    switch (action.kind) {
        case Kind::click:
        case Kind::type:
        case Kind::select:
        case Kind::copy:
        case Kind::paste: {
            std::optional<TavroRect> frame;
            if (action.id) frame = activeSurface_->frame(*action.id);
            if (frame && *frame != TavroRect{}) {
                const bool tap = action.kind == Kind::click;
                co_await life.await(shown, shown->point(*frame, std::move(caption)));
                if (tap) co_await life.await(shown, shown->tap());
            } else {
                co_await life.await(shown, shown->say(std::move(caption)));
            }
            break;
        }
        case Kind::scroll:
        case Kind::navigate:
        case Kind::back:
            co_await life.await(shown, shown->say(std::move(caption)));
            break;
        default:
            break;
    }
}

}  // namespace tavro
