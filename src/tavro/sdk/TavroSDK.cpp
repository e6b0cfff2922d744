#include "tavro/sdk/TavroSDK.h"

#include <algorithm>
#include <limits>

#include "platform/foundation/Console.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/runtime/MainActor.h"
#include "platform/ui/Application.h"
#include "platform/ui/WindowScene.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/link/TavroLink.h"
#include "tavro/memory/TavroExplorer.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/memory/TavroRecorder.h"
#include "tavro/models/TavroModelDownloads.h"
#include "tavro/overlay/TavroDebugView.h"
#include "tavro/overlay/TavroOverlay.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/remote/TavroPackLoader.h"
#include "tavro/remote/TavroRemoteFlags.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro {

namespace {

struct Box {
    std::shared_ptr<TavroSDK> instance;
    std::uint64_t generation = 0;
};
Box& box() {
    static Box b;
    return b;
}

// Runs one of the host's calls: whatever goes wrong inside is written to the console, never thrown
// to the host.
template <class Body>
void shielded(std::string_view operation, Body&& body) {
    try {
        body();
    } catch (const std::exception& error) {
        fnd::Console::write("[TAVRO_SDK] " + std::string(operation) + " failed: " + error.what());
    } catch (...) {
        fnd::Console::write("[TAVRO_SDK] " + std::string(operation) + " failed");
    }
}

std::string appID() {
    const auto id = fnd::MainBundle::identifier();
    return id && !id->empty() ? *id : "app";
}

// Awaits one pack refresh; its status is kept by the loader, not here.
rt::Task<void> refreshTask(std::shared_ptr<TavroPackLoader> loader, bool force) {
    (void)co_await loader->refresh(force);
}

rt::Task<TavroAppMap> exploreTask(std::shared_ptr<TavroExplorer> explorer, std::string app, std::string version) {
    auto crawl = explorer->explore(std::move(app), std::move(version));
    auto map = co_await std::move(crawl);
    TavroMaps::setLearned(map);
    TavroMaps::save(map);
    co_return map;
}

}  // namespace

TavroSDK& TavroSDK::shared() {
    auto& b = box();
    if (!b.instance) {
        b.instance = std::make_shared<TavroSDK>(Key{});
        b.instance->generation_ = ++b.generation;
    }
    return *b.instance;
}

void TavroSDK::reset() {
    // Moved out first so that anything the destructor triggers sees no instance.
    auto old = std::move(box().instance);
    if (old) {
        old->agent_->stop();
        old->link_->stop();
        if (old->packLoader_) old->packLoader_->retire();
    }
    // The next instance may serve another app: it starts from that app's own pack and map, read
    // from its own folders, not from what this one activated or learned.
    TavroPacks::clear();
    TavroMaps::setLearned(std::nullopt);
}

std::weak_ptr<TavroSDK> TavroSDK::current() { return box().instance; }

TavroSDK::TavroSDK(Key)
    : surface_(std::make_shared<UIKitSurface>()),
      agent_(nullptr),
      memory_(std::make_shared<TavroMemory>(TavroMemory::defaultURL())) {
    agent_ = TavroAgent::create(surface_, TavroConfiguration{}, memory_);
    recorder_ = std::make_shared<TavroRecorder>(surface_, memory_);
    link_ = TavroLink::create(agent_, surface_);
}

TavroSDK::~TavroSDK() {
    if (agent_ && overlay_) agent_->presenter.reset();
}

void TavroSDK::configure(TavroConfiguration config) {
    // Each step runs on its own: one that throws (a host's observer, say) costs that step and one
    // console line, and the steps after it still run.
    const auto step = [](auto&& body) { shielded("configure", body); };
    step([&] { configuration_ = config; });
    step([] { TavroMaps::loadSaved(); });

    if (config.packs) {
        step([&] {
            const std::weak_ptr<TavroSDK> weak = current();
            auto loader = TavroPackLoader::create(*config.packs, appID(), [weak] {
                const auto self = weak.lock();
                return self ? self->link_->stored().iid : std::string();
            });
            // A cache that cannot be applied still leaves a loader that can fetch a fresh pack.
            shielded("configure", [&] { loader->applyCached(); });
            packLoader_ = std::move(loader);
            if (!packObserver_) {
                packObserver_ = fnd::NotificationCenter::defaultCenter()->observe(
                    std::string(ui::Notification::didBecomeActive), [weak](const fnd::Notification&) {
                        const auto self = weak.lock();
                        if (self && self->packLoader_) {
                            auto task = refreshTask(self->packLoader_, false);
                            rt::spawn(std::move(task));
                        }
                        TavroModelSwitch::refreshFromFirebase();
                    });
            }
            startPackRefresh(false);
        });
    } else {
        step([&] {
            packLoader_.reset();
            TavroPacks::clear();  // also announces the model family again
        });
    }

    step([&] { surface_->routeTable = config.routes; });
    step([&] {
        std::vector<std::string> prefixes{"tavro.sdk"};
        prefixes.insert(prefixes.end(), config.excludedIdentifierPrefixes.begin(),
                        config.excludedIdentifierPrefixes.end());
        surface_->excludedIdentifierPrefixes = std::move(prefixes);
    });

    step([&] { agent_->configuration = config; });
    step([&] { agent_->setAutoRun(config.autoRun); });
    step([] { TavroModelSwitch::refreshFromFirebase(); });
    step([&] { agent_->refreshEngine(); });
    step([&] {
        TavroModelDownloads::shared()->onReady = [weak = std::weak_ptr<TavroAgent>(agent_)] {
            if (const auto agent = weak.lock()) agent->refreshEngine();
        };
    });
    step([&] { TavroDebug::shared()->enabled.set(config.debug); });
    step([&] {
        if (!config.allowsLearning) recorder_->recording.set(false);
    });

    step([&] { attach(); });
    step([&] {
        if (overlay_) overlay_->setLauncherVisible(config.showsLauncher && !isHidden());
    });

    step([&] {
        if (flagObserver_) return;
        // Flags may change on any thread: the reaction runs on this main actor, against the
        // instance that registered it (a later instance after a reset registers its own).
        TavroRemoteFlags::observe([actor = std::weak_ptr<rt::MainActor>(rt::MainActor::shared()),
                                   generation = generation_] {
            const auto main = actor.lock();
            if (!main) return;
            main->post([generation] {
                const auto self = current().lock();
                if (self && self->generation_ == generation) self->applyRemoteFlags();
            });
        });
        flagObserver_ = true;
    });

    step([&] {
        link_->settings = config.link;
        if (config.link) {
            link_->start();
        } else {
            link_->stop();
        }
    });
}

void TavroSDK::attach() {
    if (overlay_) return;
    std::shared_ptr<ui::WindowScene> scene;
    const auto& scenes = ui::Application::shared()->connectedScenes();
    for (const auto state : {ui::WindowScene::ActivationState::foregroundActive,
                             ui::WindowScene::ActivationState::foregroundInactive}) {
        const auto found = std::find_if(scenes.begin(), scenes.end(),
                                        [state](const auto& s) { return s && s->activationState() == state; });
        if (found != scenes.end()) {
            scene = *found;
            break;
        }
    }
    if (!scene) {
        if (sceneObserver_) return;
        sceneObserver_ = fnd::NotificationCenter::defaultCenter()->observe(
            std::string(ui::Notification::sceneDidActivate), [weak = current()](const fnd::Notification&) {
                if (const auto self = weak.lock()) self->attach();
            });
        return;
    }
    overlay_ = TavroOverlay::create(scene, agent_, [weak = current()]() -> std::shared_ptr<ui::Window> {
        const auto self = weak.lock();
        return self ? self->surface_->appWindow() : nullptr;
    });
    overlay_->setLauncherVisible(configuration_.showsLauncher && !isHidden());
    agent_->presenter = overlay_;
    if (sceneObserver_) sceneObserver_.reset();
}

void TavroSDK::run(std::string goal) {
    shielded("run", [&] {
        if (isHidden()) return;
        attach();
        TavroModelDownloads::shared()->offerIfNeeded(configuration_.models, false);
        if (overlay_) overlay_->collapse();
        agent_->run(std::move(goal));
    });
}

void TavroSDK::stop() {
    shielded("stop", [&] { agent_->stop(L("Stopped.", "停止しました。")); });
}

void TavroSDK::present() {
    shielded("present", [&] {
        if (isHidden()) return;
        attach();
        if (overlay_) overlay_->ui().expanded.set(true);
    });
}

void TavroSDK::setLauncherVisible(bool visible) {
    shielded("setLauncherVisible", [&] {
        configuration_.showsLauncher = visible;
        attach();
        if (overlay_) overlay_->setLauncherVisible(visible && !isHidden());
    });
}

bool TavroSDK::isHidden() const { return TavroRemoteFlags::isHidden(configuration_.models); }

void TavroSDK::applyRemoteFlags() {
    shielded("applyRemoteFlags", [&] {
        const bool hidden = isHidden();
        if (hidden) {
            if (agent_->running().value()) agent_->stop(L("Tavro is turned off for now.", "Tavro は現在オフです。"));
            if (overlay_) overlay_->collapse();
        }
        if (overlay_) overlay_->setLauncherVisible(configuration_.showsLauncher && !hidden);
        fnd::NotificationCenter::defaultCenter()->post(std::string(visibilityChanged));
    });
}

void TavroSDK::refreshPack(bool force) {
    shielded("refreshPack", [&] { startPackRefresh(force); });
}

void TavroSDK::startPackRefresh(bool force) {
    if (!packLoader_) return;
    auto task = refreshTask(packLoader_, force);
    rt::spawn(std::move(task));
}

std::string TavroSDK::packStatus() const { return packLoader_ ? packLoader_->status() : std::string(); }

rt::Task<TavroAppMap> TavroSDK::learnApp(int minutes) {
    const auto version = fnd::MainBundle::info("CFBundleShortVersionString").value_or("?");
    // A negative time counts as none; an int of minutes always fits a 64-bit count of seconds.
    const double seconds = static_cast<double>(std::max<std::int64_t>(minutes, 0) * 60);
    auto explorer = std::make_shared<TavroExplorer>(surface_, 40, 150, seconds);
    // The task holds what it needs itself, so it may outlive this instance.
    return exploreTask(std::move(explorer), appID(), version);
}

std::string TavroSDK::id() const { return link_->stored().iid; }

TavroDebugView TavroSDK::debugView() const { return TavroDebugView(agent_, memory_); }

}  // namespace tavro
