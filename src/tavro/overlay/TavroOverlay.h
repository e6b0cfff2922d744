// The overlay: what the user sees of the library above the host app. One window on the app's
// window scene, above the app's windows and below system alerts, never key, holding the launcher,
// the panel, the pointer with its caption and tap ripple, the glowing screen edge and, while the
// agent works on the web, the in-app browser. Every view of it has an accessibility identifier
// beginning "tavro.sdk", so the native surface never reads it and no action of the agent can
// reach it: the agent cannot approve its own step or close its own browser.
//
// It is the agent's presenter (held weakly by the agent) and holds the agent weakly. Its state is
// published in `ui()` for the host, the panel and tests; its views are node trees shown by
// hosting views. The panel has a slot for the download card and the launcher one for the
// download ring; they show those of the shared download controller until their owner refills them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/Published.h"
#include "platform/runtime/Task.h"
#include "platform/ui/HostingView.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"
#include "platform/views/Node.h"
#include "tavro/agent/TavroPresenter.h"

namespace tavro {

class TavroAgent;
class WebSurface;

class TavroOverlay : public TavroPresenter, public std::enable_shared_from_this<TavroOverlay> {
public:
    // Accessibility identifiers of the overlay's views.
    static constexpr std::string_view windowID = "tavro.sdk.overlay";
    static constexpr std::string_view launcherID = "tavro.sdk.launcher";
    static constexpr std::string_view panelID = "tavro.sdk.panel";
    static constexpr std::string_view pointerID = "tavro.sdk.pointer";
    static constexpr std::string_view glowID = "tavro.sdk.glow";
    static constexpr std::string_view browserID = "tavro.sdk.browser";
    static constexpr std::string_view browserCloseID = "tavro.sdk.browser.close";
    // Height of the browser window's top bar, which holds the close control.
    static constexpr double browserBarHeight = 52;

    // The pointer as shown: where it points (window points), the label of its target, the caption
    // it says, the tap ripple in progress and the fade-out in progress.
    struct Pointer {
        bool visible = false;
        TavroRect rect;
        std::string label;
        std::string caption;
        bool rippling = false;
        bool fading = false;

        bool operator==(const Pointer&) const = default;
    };
    struct Glow {
        bool visible = false;
        bool waiting = false;  // the waiting style: a prompt waits for the user

        bool operator==(const Glow&) const = default;
    };

    // The overlay's observable state. Only the overlay and its host (expanded, launcherVisible)
    // write it.
    struct UI {
        fnd::Published<bool> expanded{false};         // the panel is open
        fnd::Published<bool> launcherVisible{false};  // the launcher is shown
        fnd::Published<Pointer> pointer{Pointer{}};
        fnd::Published<Glow> glow{Glow{}};
        fnd::Published<bool> browserOpen{false};
    };

    // Builds a node for a slot (the panel's download card, the launcher's ring).
    using Slot = std::function<views::Node()>;

    // Creates the overlay window with its launcher, panel, pointer and glow on the scene (all
    // hidden at first), for the agent (held weakly), with a function that yields the host app's
    // window. Never fails; with no scene the window belongs to none.
    static std::shared_ptr<TavroOverlay> create(std::shared_ptr<ui::WindowScene> scene, std::weak_ptr<TavroAgent> agent,
                                                std::function<std::shared_ptr<ui::Window>()> appWindow);
    ~TavroOverlay() override;

    UI& ui() { return *ui_; }
    const UI& ui() const { return *ui_; }

    // ---- panel and launcher ----
    // Closes the panel.
    void collapse() override;
    // Shows or hides the launcher.
    void setLauncherVisible(bool visible);
    // What tapping the launcher does: opens or closes the panel.
    void toggleExpanded();

    // The panel's slot for the download card and the launcher's for the download ring; an empty
    // function empties the slot. Whoever fills a slot also makes its hosting view (panelView(),
    // launcherView()) observe what the slot shows.
    void setCardSlot(Slot card);
    void setRingSlot(Slot ring);

    // ---- presenter ----
    void setGlow(bool visible, bool waiting) override;
    // The pointer appears, moves to the rectangle (a 0.35 s spring) and shows the label; 600 ms
    // later the call returns.
    rt::Task<void> point(TavroRect at, std::string label) override;
    // The caption shows the text (a hidden pointer is first placed at the app window's centre);
    // returns after its 0.3 s animation and a 0.5 s pause.
    rt::Task<void> say(std::string text) override;
    // A 0.25 s ripple at the pointer.
    rt::Task<void> tap() override;
    // The pointer fades out over 0.3 s, then it is hidden.
    void hideCursor() override;
    // Opens the browser window (or answers the open one): its surface and the web view's offset.
    WebPage showWeb() override;
    // Hides and drops the browser window and its surface; nothing happens when none is open.
    void hideWeb() override;

    // What the browser's close control does: stops the agent's run, when one is in progress, and
    // hides the browser.
    void closeBrowser();

    // ---- views ----
    const std::shared_ptr<ui::Window>& window() const { return window_; }
    const std::shared_ptr<ui::HostingView>& launcherView() const { return launcher_; }
    const std::shared_ptr<ui::HostingView>& panelView() const { return panel_; }
    const std::shared_ptr<ui::HostingView>& pointerView() const { return pointer_; }
    const std::shared_ptr<ui::HostingView>& glowView() const { return glow_; }
    // The open browser's top bar and surface; nothing while it is closed.
    const std::shared_ptr<ui::HostingView>& browserBar() const { return browserBar_; }
    const std::shared_ptr<WebSurface>& webSurface() const { return web_; }

    // Only create() makes one: the key is private.
    class Key {
        friend class TavroOverlay;
        Key() = default;
    };
    TavroOverlay(Key, std::weak_ptr<TavroAgent> agent, std::function<std::shared_ptr<ui::Window>()> appWindow);
    TavroOverlay(const TavroOverlay&) = delete;
    TavroOverlay& operator=(const TavroOverlay&) = delete;

private:
    void build(const std::shared_ptr<ui::WindowScene>& scene);
    views::Node launcherBody() const;
    views::Node panelBody() const;
    views::Node pointerBody() const;
    views::Node glowBody() const;
    views::Node browserBarBody() const;
    void setPointer(Pointer pointer);
    static rt::Task<void> fadeOut(std::weak_ptr<TavroOverlay> weak, unsigned generation);

    std::unique_ptr<UI> ui_ = std::make_unique<UI>();
    std::weak_ptr<TavroAgent> agent_;
    std::function<std::shared_ptr<ui::Window>()> appWindow_;
    Slot card_;
    Slot ring_;

    std::shared_ptr<ui::Window> window_;
    std::shared_ptr<ui::HostingView> launcher_;
    std::shared_ptr<ui::HostingView> panel_;
    std::shared_ptr<ui::HostingView> pointer_;
    std::shared_ptr<ui::HostingView> glow_;
    std::shared_ptr<ui::View> browser_;
    std::shared_ptr<ui::HostingView> browserBar_;
    std::shared_ptr<WebSurface> web_;
    std::vector<fnd::ObserverToken> tokens_;
    // Counts pointer placements, so that a fade-out started before the newest one leaves it shown.
    unsigned pointerGeneration_ = 0;
};

}  // namespace tavro
