#include "tavro/core/TavroModelSwitch.h"

#include <mutex>
#include <vector>

#include "tavro/core/TavroAnalytics.h"
#include "tavro/core/TavroText.h"
#include "tavro/memory/TavroPack.h"

namespace tavro {

namespace {

struct Box {
    std::mutex lock;
    std::optional<std::string> remote;
    std::optional<TavroModelSwitch::Family> last;
    std::vector<std::function<void(TavroModelSwitch::Family)>> observers;
};

Box& box() {
    static Box instance;
    return instance;
}

std::optional<TavroModelSwitch::Family> family(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    const std::string word = TavroText::lower(TavroText::trim(*value));
    if (word == "qwen") return TavroModelSwitch::Family::qwen;
    if (word == "off") return TavroModelSwitch::Family::off;
    return std::nullopt;
}

}  // namespace

std::string_view TavroModelSwitch::name(Family family) { return family == Family::off ? "off" : "qwen"; }

TavroModelSwitch::Family TavroModelSwitch::current() {
    std::optional<std::string> pack;
    if (auto active = TavroPacks::current()) pack = std::move(active->localModel);
    return combine(pack, remoteValue());
}

std::optional<std::string> TavroModelSwitch::remoteValue() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.remote;
}

TavroModelSwitch::Family TavroModelSwitch::combine(const std::optional<std::string>& pack,
                                                   const std::optional<std::string>& remote) {
    if (family(pack) == Family::off || family(remote) == Family::off) return Family::off;
    return Family::qwen;
}

void TavroModelSwitch::observe(std::function<void(Family)> observer) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.observers.push_back(std::move(observer));
}

void TavroModelSwitch::setRemote(std::optional<std::string> value) {
    {
        auto& b = box();
        std::lock_guard guard(b.lock);
        b.remote = std::move(value);
    }
    changed();
}

void TavroModelSwitch::changed() {
    const Family now = current();
    std::optional<Family> previous;
    std::vector<std::function<void(Family)>> observers;
    {
        auto& b = box();
        std::lock_guard guard(b.lock);
        previous = b.last;
        b.last = now;
        observers = b.observers;
    }
    if (previous == now) return;
    if (previous) TavroAnalytics::log("model_switch", {{"family", std::string(name(now))}});
    for (const auto& observer : observers) observer(now);
}

void TavroModelSwitch::reset() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.remote.reset();
    b.last.reset();
    b.observers.clear();
}

}  // namespace tavro
