// The in-app browser's surface, over a web view. It opens what the agent asks for (an address, or
// a search for any other text), waits for pages to load, and remembers the frames of its last
// reading moved into the browser window's coordinates so the pointer can aim at them.
//
// Reading a page and acting on it go through the page's scripts, which the web view's browser
// engine adds to every page: the reader "tavro.read()" answers the screen as JSON, and
// "tavro.perform(<action as JSON>)" answers {"ok": true} or {"error": "..."}. The action carries
// the label and kind its element had in the last reading and the document that reading came
// from, and the page acts on the element only in that document and while it still reads so.
// "tavro.reach(<action as JSON>)" answers what the action would reach beyond the element's name
// ({"shows": [...], "picks": [...], "submits": [...]}). A page whose load failed reads as a screen
// that shows the failure and nothing to act on.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/ui/Geometry.h"
#include "platform/ui/WebView.h"
#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

class WebSurface : public TavroSurface {
public:
    // The search engine's query address by default; the percent-encoded text follows it. Its
    // results page is plain HTML that works without script, so every result is a link to tap.
    static constexpr std::string_view searchAddress = "https://html.duckduckgo.com/html/?q=";

    explicit WebSurface(std::shared_ptr<ui::WebView> webView);
    ~WebSurface() override;
    WebSurface(const WebSurface&) = delete;
    WebSurface& operator=(const WebSurface&) = delete;

    const std::shared_ptr<ui::WebView>& webView() const { return webView_; }

    std::string surfaceDescription() const override;
    // The browser offers no routes.
    std::vector<std::string> routes() const override { return {}; }
    // True while the application is inactive (a system prompt covers it).
    bool systemAlertShowing() const override;
    // Waits 200 ms, then up to 25 rounds 120 ms apart until the page has loaded and gone quiet:
    // nothing left to fetch, no change to the page since the round before, and loaded for at
    // least `drawsAfterLoad`.
    rt::Task<void> settle() override;
    // How long a page may still draw itself after its load has ended (scripts that build the
    // page's controls a moment later): no page counts as quiet sooner.
    static constexpr std::chrono::milliseconds drawsAfterLoad{500};
    // How long after its load a page may still draw the element a step names (a button a script
    // adds a few seconds later): `drawsMore` waits for it no later than this.
    static constexpr std::chrono::seconds drawsUntil{10};
    // How long a page that changes no more is waited for before the step goes on without it.
    static constexpr std::chrono::milliseconds quietFor{3000};
    // Waits for the page to change, while it loaded less than `drawsUntil` ago: true as soon as it
    // changed (or another page began loading), false once it stayed quiet for `quietFor`, the time
    // ran out, or the page cannot tell.
    rt::Task<bool> drawsMore();
    // The last reading taken by snapshotAsync, or nothing.
    std::optional<TavroScreen> snapshot() override;
    // Reads the page through its reader script; nothing while it cannot be read.
    rt::Task<std::optional<TavroScreen>> snapshotAsync() override;
    rt::Task<std::optional<std::string>> perform(TavroAction action) override;
    // "tavro.reach(<action as JSON>)": what the page would press or pick for the action.
    rt::Task<TavroReach> reached(TavroAction action) override;
    // The frame cached by the last cacheFrames, in overlay coordinates.
    std::optional<TavroRect> frame(std::int64_t id) const override;

    // Loads the address TavroWebText::url makes of the text, else a search for the text.
    void open(std::string_view text);
    // How long opened() waits for the page: the engine's start and its answer to the load.
    static constexpr std::chrono::seconds openWait{20};
    // Waits, at most openWait, until the page open() asked for has been committed in the main
    // frame or its load has failed. Nothing when it was committed (or the wait was stopped), else
    // why not, one line: "failed: the page could not be loaded: net::ERR_CONNECTION_REFUSED".
    rt::Task<std::optional<std::string>> opened();
    // The query address searches go to (the percent-encoded text follows it).
    const std::string& searchBase() const { return searchBase_; }
    void setSearchBase(std::string base) { searchBase_ = std::move(base); }
    // Replaces the frame cache with the reading's element frames (zero-size frames skipped),
    // each moved by the inset of the browser window's top bar.
    void cacheFrames(const TavroScreen& screen, ui::Point inset);

    // The search address for a text: every byte but letters, digits and "-._~" percent-encoded.
    static std::string searchURL(std::string_view text, std::string_view base = searchAddress);
    // A page reader's JSON answer as a screen; nothing when it is not one. Elements come as
    // objects or as lists of the same fields in order (what the page script sends).
    static std::optional<TavroScreen> screenFromJSON(const nlohmann::json& page);

private:
    // The action as the page script takes it: with the document and the element as last read.
    nlohmann::json call(const TavroAction& action) const;
    // After the page typed into a text field: why the field does not hold the text, or nothing.
    rt::Task<std::optional<std::string>> typedFailure(std::int64_t id, std::string text);

    std::shared_ptr<ui::WebView> webView_;
    std::string searchBase_{searchAddress};
    std::optional<TavroScreen> last_;
    std::unordered_map<std::int64_t, TavroRect> frames_;
    int loadObserver_ = 0;
    // When the view's last load ended.
    std::shared_ptr<std::optional<rt::Instant>> loadedAt_ = std::make_shared<std::optional<rt::Instant>>();
};

}  // namespace tavro
