// The one object a host app calls. It owns the native surface, the recipe memory, the agent, the
// "Watch & learn" recorder, the remote link, the overlay and the pack loader for the life of the
// process, wires them together, applies the host's configuration and reacts to remote flags.
// Everything runs on the main actor and nothing is ever thrown to the host.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/ObserverToken.h"
#include "platform/runtime/Task.h"
#include "tavro/agent/TavroConfiguration.h"
#include "tavro/remote/TavroAppMap.h"

namespace tavro {

class TavroAgent;
class TavroDebugView;
class TavroLink;
class TavroMemory;
class TavroOverlay;
class TavroPackLoader;
class TavroRecorder;
class UIKitSurface;

class TavroSDK {
public:
    static constexpr std::string_view visibilityChanged = "TavroSDK.visibilityChanged";

    // The one instance, made on first use and kept for the process.
    static TavroSDK& shared();
    // Drops the instance and every observer it made, the active pack and the learned map; the
    // next shared() makes a new one, which may serve another app id, root and keychain folder and
    // starts from that app's own pack state.
    static void reset();

    ~TavroSDK();
    TavroSDK(const TavroSDK&) = delete;
    TavroSDK& operator=(const TavroSDK&) = delete;

    const TavroConfiguration& configuration() const { return configuration_; }
    const std::shared_ptr<UIKitSurface>& surface() const { return surface_; }
    const std::shared_ptr<TavroAgent>& agent() const { return agent_; }
    const std::shared_ptr<TavroMemory>& memory() const { return memory_; }
    const std::shared_ptr<TavroRecorder>& recorder() const { return recorder_; }
    const std::shared_ptr<TavroLink>& link() const { return link_; }
    // The overlay once a window scene was found; nothing before.
    const std::shared_ptr<TavroOverlay>& overlay() const { return overlay_; }

    // Applies a configuration: packs, routes, prefixes, the agent's settings, the debug switch,
    // learning, the overlay, remote flags and the link, in that order.
    void configure(TavroConfiguration configuration);
    // Runs one goal unless the library is hidden.
    void run(std::string goal);
    // Stops the agent with the note "Stopped.".
    void stop();
    // Attaches and opens the panel unless hidden.
    void present();
    // Keeps the wish and shows or hides the launcher (never while hidden).
    void setLauncherVisible(bool visible);
    // Whether the remote flags hide the library for the configured models.
    bool isHidden() const;

    // Starts a pack refresh in the background; nothing without pack settings.
    void refreshPack(bool force);
    // The pack loader's status, "" without a loader.
    std::string packStatus() const;

    // Explores the app for up to `minutes` (40 screens, 150 taps), keeps the map as the learned one
    // and saves it. Minutes beyond what a duration in seconds can hold count as that limit.
    rt::Task<TavroAppMap> learnApp(int minutes);

    // The install id of this device.
    std::string id() const;
    // A new debug screen over the agent and the memory.
    TavroDebugView debugView() const;

    // Reaction to a change of the remote flags: stops a running goal and closes the panel when
    // hidden, sets the launcher, and posts "TavroSDK.visibilityChanged".
    void applyRemoteFlags();

private:
    struct Key {};

public:
    explicit TavroSDK(Key);

private:
    void attach();
    void startPackRefresh(bool force);
    static std::weak_ptr<TavroSDK> current();

    TavroConfiguration configuration_;
    std::shared_ptr<UIKitSurface> surface_;
    std::shared_ptr<TavroAgent> agent_;
    std::optional<fnd::ObserverToken> packObserver_;
    std::shared_ptr<TavroMemory> memory_;
    std::shared_ptr<TavroRecorder> recorder_;
    std::shared_ptr<TavroLink> link_;
    std::shared_ptr<TavroOverlay> overlay_;
    std::optional<fnd::ObserverToken> sceneObserver_;
    std::shared_ptr<TavroPackLoader> packLoader_;
    std::optional<bool> flagObserver_;
    std::uint64_t generation_ = 0;
};

}  // namespace tavro
