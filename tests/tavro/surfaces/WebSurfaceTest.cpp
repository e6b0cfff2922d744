#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <algorithm>
#include <string>

#include "platform/foundation/NotificationCenter.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/ui/Application.h"
#include "platform/ui/WebView.h"
#include "platform/web/BrowserEngine.h"
#include "tavro/surfaces/WebSurface.h"

using namespace std::chrono_literals;
using namespace tavro;
using nlohmann::json;

namespace {

struct Browser : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<ui::WebView> web = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    std::shared_ptr<WebSurface> surface = std::make_shared<WebSurface>(web);
    std::vector<std::string> scripts;

    Browser() {
        fnd::NotificationCenter::resetDefault();
        ui::Application::resetShared();
    }

    // A page that answers the reader with `page` and every action with `reply`.
    void servePage(json page, json reply = {{"ok", true}}) {
        web->setScriptHandler([this, page, reply](const std::string&, const std::string& script) {
            scripts.push_back(script);
            if (script == "tavro.read()") return ui::WebView::ScriptResult{page, ""};
            return ui::WebView::ScriptResult{reply, ""};
        });
    }
    std::optional<TavroScreen> readPage() { return rt::runToEnd(actor, surface->snapshotAsync()).value_or(std::nullopt); }
    std::optional<std::string> perform(TavroAction action) {
        return rt::runToEnd(actor, surface->perform(std::move(action))).value_or(std::optional<std::string>("not run"));
    }
};

}  // namespace

TEST_F(Browser, OpenLoadsAnAddressOrSearchesForTheText) {
    servePage(json::object());
    surface->open("example.org");
    EXPECT_EQ(web->url(), "https://example.org");
    surface->open("red shoes & socks");
    EXPECT_EQ(web->url(), "https://html.duckduckgo.com/html/?q=red%20shoes%20%26%20socks");
    surface->open("東京 ramen");
    EXPECT_EQ(web->url(), "https://html.duckduckgo.com/html/?q=%E6%9D%B1%E4%BA%AC%20ramen");
    EXPECT_EQ(WebSurface::searchURL("a+b=c?"), "https://html.duckduckgo.com/html/?q=a%2Bb%3Dc%3F");
    surface->setSearchBase("http://127.0.0.1:8080/find?text=");
    surface->open("two words");
    EXPECT_EQ(web->url(), "http://127.0.0.1:8080/find?text=two%20words");
    EXPECT_TRUE(web->isLoading());
}

TEST_F(Browser, OpenedWaitsForThePageAndTellsAFailedLoad) {
    servePage(json::object());
    web->setLoadDuration(300ms);
    surface->open("example.org");
    const auto opened = rt::runToEnd(actor, surface->opened());
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(*opened, std::nullopt);
    EXPECT_FALSE(web->isOpening());
    EXPECT_GE(actor->now().time_since_epoch(), 300ms) << "it waited for the page";

    // Without a browser engine the load fails, and the wait says why.
    web::BrowserEngine::setProgram("/nonexistent/chromium");
    auto bare = std::make_shared<WebSurface>(std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700}));
    bare->open("example.org");
    const auto failed = rt::runToEnd(actor, bare->opened());
    web::BrowserEngine::setProgram("");
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(*failed, std::optional<std::string>("failed: no browser engine: install the chromium package"));
}

TEST_F(Browser, SettleWaitsForThePageToLoad) {
    servePage(json::object());
    web->setLoadDuration(500ms);
    surface->open("example.org");
    rt::runToEnd(actor, surface->settle());
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(actor->now().time_since_epoch(), 560ms);  // 200, 320, 440, 560
}

TEST_F(Browser, SettleWaitsUntilThePageStopsChanging) {
    // The page changes on each of the first three looks, then holds still.
    int looks = 0;
    web->setScriptHandler([&](const std::string&, const std::string& script) {
        if (script != "tavro.activity()") return ui::WebView::ScriptResult{json::object(), ""};
        ++looks;
        return ui::WebView::ScriptResult{json{{"mutations", std::min(looks, 3) * 10}}, ""};
    });
    web->setLoadDuration(50ms);
    surface->open("example.org");
    rt::runToEnd(actor, surface->settle());
    EXPECT_EQ(looks, 4);
    EXPECT_EQ(actor->now().time_since_epoch(), 560ms);  // 200, then looks at 200, 320, 440, 560

    // A page that never stops changing is given up on after the last round.
    looks = 0;
    web->setScriptHandler([&](const std::string&, const std::string&) {
        return ui::WebView::ScriptResult{json{{"mutations", ++looks}}, ""};
    });
    const auto start = actor->now();
    rt::runToEnd(actor, surface->settle());
    EXPECT_EQ(looks, 25);
    EXPECT_EQ(actor->now() - start, 200ms + 25 * 120ms);
}

TEST_F(Browser, AFreshlyLoadedPageIsGivenTimeToDrawItself) {
    // A page that holds still from the start counts as quiet only once it has been loaded 500 ms.
    int looks = 0;
    web->setScriptHandler([&](const std::string&, const std::string& script) {
        if (script != "tavro.activity()") return ui::WebView::ScriptResult{json::object(), ""};
        ++looks;
        return ui::WebView::ScriptResult{json{{"mutations", 7}}, ""};
    });
    web->setLoadDuration(50ms);
    surface->open("example.org");
    rt::runToEnd(actor, surface->settle());
    EXPECT_EQ(actor->now().time_since_epoch(), 560ms);  // looks at 200, 320, 440, 560: loaded at 50
    EXPECT_EQ(looks, 4);

    // Later on the same page one quiet round is enough.
    const auto start = actor->now();
    rt::runToEnd(actor, surface->settle());
    EXPECT_EQ(actor->now() - start, 320ms);
}

TEST_F(Browser, WaitingForMoreDrawingEndsAtAChangeAtQuietOrAtTheBoundAfterLoading) {
    int looks = 0;
    int changeAt = 0;  // the look from which the page shows one more change; 0: never
    web->setScriptHandler([&](const std::string&, const std::string& script) {
        if (script != "tavro.activity()") return ui::WebView::ScriptResult{json::object(), ""};
        ++looks;
        return ui::WebView::ScriptResult{json{{"mutations", changeAt && looks >= changeAt ? 8 : 7}}, ""};
    });
    web->setLoadDuration(50ms);
    surface->open("example.org");
    rt::runToEnd(actor, surface->settle());
    const auto drawsMore = [&] { return rt::runToEnd(actor, surface->drawsMore()).value_or(false); };

    // A change on the fourth look ends the wait at once.
    looks = 0;
    changeAt = 4;
    auto start = actor->now();
    EXPECT_TRUE(drawsMore());
    EXPECT_EQ(actor->now() - start, 3 * 120ms);

    // A page that holds still is waited for until it has been quiet that long.
    changeAt = 0;
    start = actor->now();
    EXPECT_FALSE(drawsMore());
    EXPECT_GE(actor->now() - start, WebSurface::quietFor);
    EXPECT_LT(actor->now() - start, WebSurface::quietFor + 200ms);

    // Past the bound after loading it is not waited for at all.
    actor->runFor(WebSurface::drawsUntil);
    looks = 0;
    start = actor->now();
    EXPECT_FALSE(drawsMore());
    EXPECT_EQ(looks, 0);
    EXPECT_EQ(actor->now(), start);
}

TEST_F(Browser, FramesAreCachedInOverlayCoordinatesWithoutEmptyOnes) {
    TavroScreen screen;
    screen.elements = {TavroElement{1, "button", "submit", "Go", "", {}, {}, true, {10, 20, 30, 40}, false},
                       TavroElement{2, "link", "", "Hidden", "", {}, {}, false, {5, 5, 0, 10}, false}};
    surface->cacheFrames(screen, {0, 64});
    EXPECT_EQ(surface->frame(1), (TavroRect{10, 84, 30, 40}));
    EXPECT_EQ(surface->frame(2), std::nullopt);
    surface->cacheFrames(TavroScreen{}, {0, 64});
    EXPECT_EQ(surface->frame(1), std::nullopt);
}

TEST_F(Browser, APageIsReadThroughItsReaderScript) {
    EXPECT_EQ(readPage(), std::nullopt);  // no page, no engine
    servePage({{"title", "Shoes"},
               {"text", "Red shoes"},
               {"elements", json::array({{{"id", 3},
                                           {"kind", "input"},
                                           {"type", "search"},
                                           {"label", "Search"},
                                           {"value", "red"},
                                           {"keys", {"q", 7}},
                                           {"inView", true},
                                           {"frame", {{"x", 1}, {"y", 2}, {"width", 3}, {"height", 4}}},
                                           {"focused", true}},
                                          {{"id", "not a number"}, {"kind", "button"}},
                                          "garbage"})}});
    surface->open("shop.example");
    actor->runUntilIdle();
    const auto screen = readPage();
    ASSERT_TRUE(screen.has_value());
    EXPECT_EQ(screen->location, "https://shop.example");
    EXPECT_EQ(screen->title, "Shoes");
    ASSERT_EQ(screen->elements.size(), 1u);
    const auto& field = screen->elements[0];
    EXPECT_EQ(field.id, 3);
    EXPECT_EQ(field.type, "search");
    EXPECT_EQ(field.keys, (std::vector<std::string>{"q"}));
    EXPECT_EQ(field.frame, (TavroRect{1, 2, 3, 4}));
    EXPECT_TRUE(field.focused);
    EXPECT_EQ(surface->snapshot(), screen);
    EXPECT_TRUE(surface->routes().empty());

    // The page script's own form: each element a list of the same fields in order. Lists cut
    // short or of the wrong types read as far as they go, or not at all.
    const json listed = {{"elements", json::array({json::array({3, "input", "search", "Search", "red", {"q", 7}, json::array(),
                                                                 true, 1, 2, 3, 4, true}),
                                                    json::array({4, "select", "select-one", "Size", "M", json::array(),
                                                                 {"S", "M"}, false, 0.5, -2, 10, 20.25, false}),
                                                    json::array({5, "button"}), json::array({"six", "button"}),
                                                    json::array(), json::array({7, 1, 2, 3, 4, 5, 6, "x", "y", "z"})})}};
    const auto fromLists = WebSurface::screenFromJSON(listed);
    ASSERT_TRUE(fromLists.has_value());
    ASSERT_EQ(fromLists->elements.size(), 4u);
    EXPECT_EQ(fromLists->elements[0], field) << "a list reads as the object with the same fields";
    EXPECT_EQ(fromLists->elements[1].options, (std::vector<std::string>{"S", "M"}));
    EXPECT_EQ(fromLists->elements[1].frame, (TavroRect{0.5, -2, 10, 20.25}));
    EXPECT_EQ(fromLists->elements[2].kind, "button");
    EXPECT_EQ(fromLists->elements[2].frame, (TavroRect{0, 0, 0, 0}));
    EXPECT_EQ(fromLists->elements[3].id, 7);
    EXPECT_EQ(fromLists->elements[3].kind, "");
    EXPECT_FALSE(fromLists->elements[3].inView);
}

TEST_F(Browser, AnAnswerThatIsNotAPageReadsAsNothing) {
    for (const json& answer : {json("text"), json::array(), json(nullptr), json(42)}) {
        servePage(answer);
        EXPECT_EQ(readPage(), std::nullopt) << answer.dump();
    }
}

TEST_F(Browser, ActionsGoToThePageAndItsErrorsComeBackAsFailures) {
    servePage(json::object(), {{"ok", true}});
    EXPECT_EQ(perform({TavroAction::Kind::type, 3, "red shoes", true, ""}), std::nullopt);
    ASSERT_FALSE(scripts.empty());
    const auto call = json::parse(scripts.back().substr(std::string("tavro.perform(").size(),
                                                          scripts.back().size() - std::string("tavro.perform(").size() - 1));
    EXPECT_EQ(call["kind"], "type");
    EXPECT_EQ(call["id"], 3);
    EXPECT_EQ(call["submit"], true);
    servePage(json::object(), {{"error", "element 9 is not on the page\nsorry"}});
    EXPECT_EQ(perform({TavroAction::Kind::click, 9, "", false, ""}), "failed: element 9 is not on the page sorry");
    servePage(json::object(), json("?"));
    EXPECT_EQ(perform({TavroAction::Kind::click, 9, "", false, ""}), "failed: the page gave no answer");
    servePage(json::object(), {{"ok", true}});
    web->load("javascript:alert(1)");
    EXPECT_EQ(perform({TavroAction::Kind::back, std::nullopt, "", false, ""}),
              "failed: the browser opens only http, https and file addresses");
    const auto failed = readPage();
    ASSERT_TRUE(failed.has_value()) << "a failed load reads as the failure";
    EXPECT_EQ(failed->text, "failed: the browser opens only http, https and file addresses");
    EXPECT_TRUE(failed->elements.empty());
}

TEST_F(Browser, AnActionCarriesHowItsElementWasReadSoThePageActsOnlyOnItAsRead) {
    servePage({{"elements", json::array({json::array({3, "button", "submit", "Save draft"})})}});
    ASSERT_TRUE(readPage().has_value());
    const auto sent = [&] {
        const std::string prefix = "tavro.perform(";
        return json::parse(scripts.back().substr(prefix.size(), scripts.back().size() - prefix.size() - 1));
    };
    EXPECT_EQ(perform({TavroAction::Kind::click, 3, "", false, ""}), std::nullopt);
    EXPECT_EQ(sent()["element"], (json{{"label", "Save draft"}, {"kind", "button"}}));
    EXPECT_EQ(perform({TavroAction::Kind::click, 4, "", false, ""}), std::nullopt);
    EXPECT_FALSE(sent().contains("element")) << "an id the reading did not have is sent as it is";
}
