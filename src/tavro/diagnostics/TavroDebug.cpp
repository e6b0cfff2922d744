#include "tavro/diagnostics/TavroDebug.h"

#include "platform/foundation/Console.h"
#include "platform/runtime/MainActor.h"

namespace tavro {

std::shared_ptr<TavroDebug> TavroDebug::shared() {
    static const auto instance = std::make_shared<TavroDebug>(Key());
    return instance;
}

void TavroDebug::log(std::string_view tag, std::string_view text, bool ok) {
    if (!enabled.value()) return;
    std::vector<Entry> kept;
    const auto& now = entries.value();
    const std::size_t drop = now.size() + 1 > limit ? now.size() + 1 - limit : 0;
    kept.reserve(now.size() + 1 - drop);
    kept.insert(kept.end(), now.begin() + static_cast<std::ptrdiff_t>(drop), now.end());
    kept.push_back({fnd::Uuid::random(), std::chrono::system_clock::now(), std::string(tag), std::string(text), ok});
    entries.set(std::move(kept));
    fnd::Console::write("[TAVRO_SDK] " + std::string(tag) + ": " + std::string(text));
}

void TavroDebug::logFromAnyThread(std::string_view tag, std::string_view text, bool ok) {
    const auto actor = rt::MainActor::shared();
    if (actor->isActorThread()) {
        shared()->log(tag, text, ok);
        return;
    }
    actor->post([tag = std::string(tag), text = std::string(text), ok] { shared()->log(tag, text, ok); });
}

void TavroDebug::clear() { entries.set({}); }

void TavroDebug::reset() {
    const auto debug = shared();
    debug->enabled.set(false);
    debug->clear();
}

}  // namespace tavro
