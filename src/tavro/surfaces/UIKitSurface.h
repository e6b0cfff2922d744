// The native surface: reads the host app's window into a TavroScreen and performs actions on its
// real controls, as a person's touches would.
//
// Reading walks the app window's visible views (only the frontmost modal presentation when one is
// up), skips views whose accessibility identifier begins with an excluded prefix (with their
// subviews), and lists the controls as elements in reading order (top to bottom, then left to
// right) with ids that stay the same for the same view object across readings. Off-screen
// elements are listed with `inView` false. Static texts in view become the screen's text.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

namespace surfaceparts {
struct Target;
}

class UIKitSurface : public TavroSurface {
public:
    // Route name -> the host's main-actor action that opens it.
    using RouteTable = std::map<std::string, std::function<void()>>;

    // Keeps the routes, and "tavro.sdk" followed by the given prefixes as the excluded prefixes.
    explicit UIKitSurface(RouteTable routes = {}, std::vector<std::string> excludedIdentifierPrefixes = {});
    ~UIKitSurface() override;

    // "the iOS app “<display name>” the user is using (native screens; tap with click, fill fields
    // with type)"; the display name is "CFBundleDisplayName", else "CFBundleName", else "this app".
    std::string surfaceDescription() const override;
    // The names of the route table, in order.
    std::vector<std::string> routes() const override;
    // True while the application is inactive (a system prompt covers it).
    bool systemAlertShowing() const override;
    // Waits 200 ms, then up to 25 rounds 120 ms apart until the screen's fingerprint repeats and no
    // view-controller transition runs. A still screen returns after the first 200 ms.
    rt::Task<void> settle() override;
    // The app window's screen; nothing when there is no app window.
    std::optional<TavroScreen> snapshot() override;
    rt::Task<std::optional<std::string>> perform(TavroAction action) override;
    std::optional<TavroRect> frame(std::int64_t id) const override;

    // The host app's window: the key window of the foreground scenes that is not the overlay's
    // (identifier with an excluded prefix), not hidden, visible, below alert level and not a
    // keyboard window; else the only such window; else the highest of them; else nothing.
    std::shared_ptr<ui::Window> appWindow() const;

    // The element id under which readings list this view; nothing when no reading has listed it.
    std::optional<std::int64_t> elementId(const ui::View& view) const;

    // Opened by `navigate`; the facade's configure replaces it.
    RouteTable routeTable;
    // Identifier prefixes of views never read; "tavro.sdk" comes first.
    std::vector<std::string> excludedIdentifierPrefixes;

private:
    struct Reader;
    struct Entry {
        std::weak_ptr<ui::View> view;
        std::uint64_t serial = 0;
    };

    std::optional<TavroScreen> read(bool keepFrames);
    std::int64_t idFor(const std::shared_ptr<ui::View>& view);
    bool isExcluded(const std::string& identifier) const;

    // Performing: one member per kind of action; each answers nothing or a "failed: " line.
    using Target = surfaceparts::Target;
    std::optional<std::string> performNow(const TavroAction& action);
    std::optional<std::string> locate(const TavroAction& action, Target& target);
    std::optional<std::string> performNavigate(const std::string& route);
    std::optional<std::string> performClick(const Target& target, const std::string& text);
    std::optional<std::string> performType(const Target& target, const std::string& text, bool submit);
    std::optional<std::string> performSelect(const Target& target, const std::string& text);
    std::optional<std::string> performScroll(const Target& target, const std::string& text);
    std::optional<std::string> performSwipe(const Target& target, const std::string& text);
    std::optional<std::string> performLongPress(const Target& target);
    std::optional<std::string> performBack(ui::Window& window);

    std::unordered_map<std::uint64_t, std::int64_t> ids_;  // view serial -> element id
    std::unordered_map<std::int64_t, Entry> views_;         // element id -> view
    std::unordered_map<std::int64_t, TavroRect> frames_;    // the last reading's frames
    std::unique_ptr<Reader> reader_;                        // buffers kept between readings
    std::int64_t nextId_ = 1;
    std::size_t pruneAt_ = 4096;
};

}  // namespace tavro
