#include "tavro/remote/TavroModelSwitch.h"

#include <mutex>
#include <vector>

#include "platform/objc/Runtime.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/remote/TavroRemoteFlags.h"

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
    // Only blanks are trimmed: "off" followed by a line break is not a family.
    const std::string word = TavroText::lower(TavroText::trimBlanks(*value));
    if (word == "qwen") return TavroModelSwitch::Family::qwen;
    if (word == "off") return TavroModelSwitch::Family::off;
    return std::nullopt;
}

// The host's remote-configuration object: only when the host has configured its default app.
objc::ObjectPtr firebaseRemoteConfig() {
    const auto app = objc::Runtime::classNamed("FIRApp");
    const auto defaultApp = objc::send(app, "defaultApp");
    if (!defaultApp || !defaultApp->object()) return nullptr;
    const auto remoteConfig = objc::send(objc::Runtime::classNamed("FIRRemoteConfig"), "remoteConfig");
    return remoteConfig ? remoteConfig->object() : nullptr;
}

// A key's text value with blanks trimmed; nothing when missing or blank.
std::optional<std::string> read(const objc::ObjectPtr& config, const char* key) {
    const auto value = objc::send(config, "configValueForKey:", {objc::Value(key)});
    if (!value || !value->object()) return std::nullopt;
    const auto text = objc::valueForKey(value->object(), "stringValue");
    if (!text || !text->string()) return std::nullopt;
    std::string trimmed = TavroText::trimBlanks(*text->string());
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

void apply(const objc::ObjectPtr& config) {
    TavroModelSwitch::setRemote(read(config, TavroModelSwitch::remoteConfigKey));
    const auto enabled = read(config, TavroRemoteFlags::enabledKey);
    const auto enabledWithoutNative = read(config, TavroRemoteFlags::enabledWithoutNativeKey);
    TavroRemoteFlags::set(enabled && !TavroRemoteFlags::enabled(enabled),
                          enabledWithoutNative && !TavroRemoteFlags::enabled(enabledWithoutNative));
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

void TavroModelSwitch::refreshFromFirebase() {
    const auto config = firebaseRemoteConfig();
    if (!config) {
        changed();
        return;
    }
    apply(config);
    objc::send(config, "fetchAndActivateWithCompletionHandler:", {objc::Value([](const objc::Args&) {
                   if (const auto fetched = firebaseRemoteConfig()) apply(fetched);
               })});
}

void TavroModelSwitch::reset() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.remote.reset();
    b.last.reset();
    b.observers.clear();
}

}  // namespace tavro
