// One page (a tab) of the browser engine: it loads addresses, follows the page's load events,
// runs scripts in the page and carries out trusted input (clicks, key presses, typed text) through
// the protocol, as a person's input would arrive. A window the page opens is followed in the page
// itself and closed: the page stays the only one.
//
// Our page script is added to every new document in a world of its own, apart from the page's
// scripts: a page cannot replace or tamper with it. Scripts given to evaluate() run in that world,
// where "tavro.read()" and "tavro.perform(action)" are defined. A script may answer a request for
// input, {"tavro.input": [steps]}; the page carries out the steps in order and answers
// {"ok": true}, or {"error": "..."} for the first step that fails. The steps are
// {"tap": {"id": element, "x": x, "y": y, "hold": milliseconds}}, {"type": text}, {"key": name}
// (Enter, Backspace), {"back": true} (history) and {"script": text}, whose answer stands when it
// is an error.
//
// A tap reaches the element it aims at, as it was read, or nothing at all. The pointer moves to
// the point; our world then checks the element is still under it and reads as it did
// ("tavro.recheck", which answers a new point once when the page moved it), again after the button
// went down (and after the hold of a long press: "tavro.held"), and after the button went up that
// the element or something in it received the click ("tavro.pressed"; a click that leaves the
// document is told by our world as it happens). Where the page's own hit test ends on an element
// that may hold a shadow root, a check is made again with the node the engine's hit test finds
// there, which sees into closed shadow roots. While the button is down our world keeps from the
// page every part of the press that would reach something else; a press it called off ends with a
// release of no button, which the page does not hear. A long press ends as a finger's does: the
// context menu and the pointer going up, never a click. Typing sends each character's key down and up
// where a key types it (keydown, keypress, input, keyup) and the rest as text input; before each
// key our world is asked whether the field still holds the focus, and typing stops where it does
// not ("tavro.typing"), while our world keeps from the page every key that would reach anything
// but the field.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/web/BrowserEngine.h"

namespace web {

class BrowserPage : public std::enable_shared_from_this<BrowserPage> {
    struct Key {};

public:
    struct Opened;
    // What a script answers: a JSON value, or an error text.
    struct Answer {
        std::optional<nlohmann::json> value;
        std::string error;
    };

    // Opens a new page of the given viewport size (CSS pixels) in the shared engine.
    static rt::Task<Opened> open(int width, int height);

    BrowserPage(Key, std::shared_ptr<BrowserEngine> engine, std::string target, std::string session);
    ~BrowserPage();
    BrowserPage(const BrowserPage&) = delete;
    BrowserPage& operator=(const BrowserPage&) = delete;

    // Starts loading the address and returns when the main frame has committed it: the empty text,
    // or why the load failed (one line, "the page could not be loaded: " and the engine's reason).
    rt::Task<std::string> navigate(std::string url);
    // How long a navigation may take to commit: a server that never answers keeps the engine
    // waiting, and the caller's own bound for a page (shorter than this) is the one that speaks.
    static constexpr std::chrono::seconds navigateWait{60};
    // Runs the script in our page world and answers its value (input requests carried out).
    rt::Task<Answer> evaluate(std::string script);
    // Changes the viewport size.
    void resize(int width, int height);

    bool isLoading() const { return loading_; }
    // True while the page loads or still fetches (streams and pings aside).
    bool isBusy() const { return loading_ || !requests_.empty(); }
    // The main frame's address as it is now (links followed, history moves).
    const std::string& url() const { return url_; }
    // False once the engine has stopped or the page was closed or crashed.
    bool isAlive() const { return alive_ && engine_->running(); }
    const std::shared_ptr<BrowserEngine>& engine() const { return engine_; }

    // Told when a load ends (finished, failed, or the engine stopped).
    void setLoadHandler(std::function<void()> handler) { onLoad_ = std::move(handler); }

private:
    void handle(const std::string& method, const nlohmann::json& params);
    void finishLoad();
    // While the page loads or fetches, the main actor's virtual clock runs at the wall clock's pace.
    void holdWhileBusy();
    rt::Task<Reply> call(std::string method, nlohmann::json params);
    void adoptWindow(const std::string& popup, const std::string& url);
    void closeWindow(const std::string& popup);
    rt::Task<std::string> runStep(const nlohmann::json& step);
    rt::Task<std::string> tap(nlohmann::json arg);
    rt::Task<std::string> typeText(std::string text);
    rt::Task<std::string> focusLost();
    rt::Task<Answer> checkAt(std::string check, nlohmann::json args, double x, double y);
    static Answer answerOf(const Reply& reply);
    rt::Task<Reply> mouse(std::string type, double x, double y, std::string button = "left");

    std::shared_ptr<BrowserEngine> engine_;
    std::string target_;
    std::string session_;
    std::string url_;
    std::function<void()> onLoad_;
    std::unordered_set<std::string> requests_;  // fetches in flight
    std::unordered_set<std::string> openWindows_;    // windows the page opened, waiting for an address
    std::unordered_set<std::string> closedWindows_;  // windows already closed
    std::optional<int> context_;  // our world's execution context in the main frame
    std::optional<nlohmann::json> pressed_;  // what our world told of the last click it heard
    rt::MainActor::Hold busy_;  // held while the page is busy: the engine's news of it is on its way
    bool loading_ = false;
    bool alive_ = true;
};

struct BrowserPage::Opened {
    std::shared_ptr<BrowserPage> page;
    std::string failure;
};

}  // namespace web
