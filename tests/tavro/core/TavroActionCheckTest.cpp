#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/PreferredLanguages.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroScreen.h"

using namespace tavro;
using Kind = TavroAction::Kind;

namespace {

TavroElement el(std::int64_t id, std::string kind, std::string label, std::string type = "", bool focused = false) {
    return TavroElement{.id = id, .kind = std::move(kind), .type = std::move(type), .label = std::move(label),
                        .inView = true, .focused = focused};
}

TavroScreen formScreen() {
    TavroScreen screen{.location = "Form"};
    screen.elements = {
        el(1, "button", "Save"),
        el(2, "input", "Name", "UITextField", true),
        el(3, "select", "Size"),
        el(4, "textarea", "Notes"),
        el(5, "checkbox", "Agree"),
        el(6, "slider", "Volume"),
        el(7, "input", "Password", "password"),
        el(8, "cell", ""),
    };
    return screen;
}

TavroAction act(Kind kind, std::optional<std::int64_t> id = std::nullopt, std::string text = "", bool submit = false) {
    return TavroAction{.kind = kind, .id = id, .text = std::move(text), .submit = submit};
}

struct CheckCase {
    const char* name;
    TavroAction action;
    std::optional<TavroAction> accepted;
    std::optional<std::string> hint;
};

class LanguageScope {
public:
    explicit LanguageScope(std::vector<std::string> tags) { fnd::PreferredLanguages::setOverride(std::move(tags)); }
    ~LanguageScope() { fnd::PreferredLanguages::reset(); }
};

}  // namespace

TEST(TavroActionValidate, ByKind) {
    const TavroScreen screen = formScreen();
    const std::vector<std::string> routes = {"Settings", "Profile"};
    const std::vector<CheckCase> cases = {
        {"back unchanged", act(Kind::back, 99, "x"), act(Kind::back, 99, "x"), {}},
        {"done with empty text", act(Kind::done), act(Kind::done), {}},
        {"share without id", act(Kind::share), act(Kind::share), {}},
        {"paste off screen", act(Kind::paste, 42), act(Kind::paste, 42), {}},
        {"click on screen", act(Kind::click, 1), act(Kind::click, 1), {}},
        {"click off screen", act(Kind::click, 42), {}, "id 42 is not in ELEMENTS"},
        {"click without id", act(Kind::click), {}, "id none is not in ELEMENTS"},
        {"long press without id", act(Kind::longPress), {}, "id none is not in ELEMENTS"},
        {"long press on screen", act(Kind::longPress, 8), act(Kind::longPress, 8), {}},
        {"scroll to top is down", act(Kind::scroll, {}, "scroll to top"), act(Kind::scroll, {}, "down"), {}},
        {"pull up is up", act(Kind::scroll, {}, "pull up"), act(Kind::scroll, {}, "up"), {}},
        {"scroll UP", act(Kind::scroll, {}, "UP"), act(Kind::scroll, {}, "up"), {}},
        {"empty scroll", act(Kind::scroll), act(Kind::scroll, {}, "down"), {}},
        {"swipe upper left", act(Kind::swipe, {}, "upper left"), act(Kind::swipe, {}, "left"), {}},
        {"swipe Right on a row", act(Kind::swipe, 8, "Right"), act(Kind::swipe, 8, "right"), {}},
        {"swipe without direction", act(Kind::swipe, 8, "sideways"), {}, "swipe needs text left, right, up or down"},
        {"swipe on missing element", act(Kind::swipe, 42, "left"), {}, "id 42 is not in ELEMENTS"},
        {"swipe direction checked first", act(Kind::swipe, 42, "away"), {}, "swipe needs text left, right, up or down"},
        {"navigate by contains", act(Kind::navigate, {}, "settings page"), act(Kind::navigate, {}, "Settings"), {}},
        {"navigate exact", act(Kind::navigate, {}, "profile"), act(Kind::navigate, {}, "Profile"), {}},
        {"navigate unknown", act(Kind::navigate, {}, "Cart"), {}, "text must be one of ROUTES"},
        {"ask with question", act(Kind::ask, {}, "Email?"), act(Kind::ask, {}, "Email?"), {}},
        {"ask empty", act(Kind::ask), {}, "ask needs the question in text"},
        {"ask blank is not empty", act(Kind::ask, {}, " "), act(Kind::ask, {}, " "), {}},
        {"openWeb empty", act(Kind::openWeb), {}, "openWeb needs a web address or search text"},
        {"openWeb search", act(Kind::openWeb, {}, "weather"), act(Kind::openWeb, {}, "weather"), {}},
        {"copy text", act(Kind::copy, {}, "abc"), act(Kind::copy, {}, "abc"), {}},
        {"copy id off screen", act(Kind::copy, 42), act(Kind::copy, 42), {}},
        {"copy nothing", act(Kind::copy), {}, "copy needs text, or the id of something to copy"},
    };
    for (const auto& c : cases) {
        const auto result = TavroAction::validate(c.action, screen, routes);
        EXPECT_EQ(result.action, c.accepted) << c.name;
        EXPECT_EQ(result.hint, c.hint) << c.name;
        EXPECT_NE(result.action.has_value(), result.hint.has_value()) << c.name;
    }
}

TEST(TavroActionValidate, NavigateWithoutRoutes) {
    const auto result = TavroAction::validate(act(Kind::navigate, {}, "Settings"), formScreen(), {});
    EXPECT_EQ(result.hint, "navigate is not available here; tap the app's buttons instead");
}

TEST(TavroActionValidate, TypeAndSelectFollowTheElement) {
    const TavroScreen screen = formScreen();
    const std::vector<CheckCase> cases = {
        {"type into input", act(Kind::type, 2, "Ann", true), act(Kind::type, 2, "Ann", true), {}},
        {"type without id goes to the focused field", act(Kind::type, {}, "Ann"), act(Kind::type, 2, "Ann"), {}},
        {"type on select becomes select", act(Kind::type, 3, "L"), act(Kind::select, 3, "L"), {}},
        {"type on slider becomes select", act(Kind::type, 6, "50"), act(Kind::select, 6, "50"), {}},
        {"select on textarea becomes type", act(Kind::select, 4, "hi"), act(Kind::type, 4, "hi"), {}},
        {"empty text refused with submit", act(Kind::type, 2, "", true), {}, "text is empty"},
        {"empty select refused", act(Kind::select, 3), {}, "text is empty"},
        {"type on checkbox becomes click", act(Kind::type, 5, "on"), act(Kind::click, 5, "on"), {}},
        {"select on checkbox becomes click", act(Kind::select, 5), act(Kind::click, 5), {}},
        {"select on button becomes click", act(Kind::select, 1, "x"), act(Kind::click, 1, "x"), {}},
        {"type on button refused", act(Kind::type, 1, "x"), {}, "element 1 is a button, not a text field; use click"},
        {"type on cell refused", act(Kind::type, 8, "x"), {}, "element 8 is a cell, not a text field; use click"},
        {"select without id refused", act(Kind::select, {}, "L"), {}, "id none is not in ELEMENTS"},
        {"type off screen", act(Kind::type, 42, "x"), {}, "id 42 is not in ELEMENTS"},
        {"negative id off screen", act(Kind::type, -3, "x"), {}, "id -3 is not in ELEMENTS"},
    };
    for (const auto& c : cases) {
        const auto result = TavroAction::validate(c.action, screen, {});
        EXPECT_EQ(result.action, c.accepted) << c.name;
        EXPECT_EQ(result.hint, c.hint) << c.name;
    }
}

TEST(TavroActionValidate, TypeWithoutIdTakesTheFirstFocusedAndItsKind) {
    TavroScreen screen;
    screen.elements = {el(1, "input", "A"), el(2, "select", "B", "", true), el(3, "input", "C", "", true)};
    EXPECT_EQ(TavroAction::validate(act(Kind::type, {}, "x"), screen, {}).action, act(Kind::select, 2, "x"));
    screen.elements[1].kind = "input";
    EXPECT_EQ(TavroAction::validate(act(Kind::type, {}, "x"), screen, {}).action, act(Kind::type, 2, "x"));
    screen.elements[1].focused = false;
    screen.elements[2].focused = false;
    EXPECT_EQ(TavroAction::validate(act(Kind::type, {}, "x"), screen, {}).hint, "id none is not in ELEMENTS");
}

TEST(TavroActionDescribe, EnglishSentences) {
    const LanguageScope english({"en-US"});
    const TavroScreen screen = formScreen();
    const std::vector<std::pair<TavroAction, std::string>> cases = {
        {act(Kind::click, 1), "Tap “Save”"},
        {act(Kind::click, 8), "Tap “#8”"},
        {act(Kind::click, 42), "Tap “#42”"},
        {act(Kind::type, 2, "Ann"), "Type “Ann” into Name"},
        {act(Kind::type, 2, "Ann", true), "Type “Ann” into Name and submit"},
        {act(Kind::type, 7, "hunter2"), "Type “••••” into Password"},
        {act(Kind::select, 7, "hunter2"), "Set Password to “hunter2”"},
        {act(Kind::select, 3, "L"), "Set Size to “L”"},
        {act(Kind::scroll, {}, "up"), "Scroll up"},
        {act(Kind::scroll, {}, "Up"), "Scroll down"},
        {act(Kind::swipe, {}, "left"), "Swipe left"},
        {act(Kind::swipe, 8, "left"), "Swipe left on #8"},
        {act(Kind::longPress, 1), "Long-press Save"},
        {act(Kind::navigate, {}, "Settings"), "Open Settings"},
        {act(Kind::back), "Go back"},
        {act(Kind::ask, {}, "Which size?"), "Which size?"},
        {act(Kind::done), ""},
        {act(Kind::fail, {}, "No network"), "No network"},
        {act(Kind::openWeb, {}, "weather"), "Open a browser for “weather”"},
        {act(Kind::copy, {}, "abc"), "Copy “abc”"},
        {act(Kind::copy, 1), "Copy Save"},
        {act(Kind::paste), "Paste into #-1"},
        {act(Kind::paste, 2), "Paste into Name"},
        {act(Kind::saveImage), "Save the image to Photos"},
        {act(Kind::share, {}, "link"), "Share “link”"},
        {act(Kind::share, 1), "Share Save"},
    };
    for (const auto& [action, sentence] : cases) {
        EXPECT_EQ(action.describe(&screen), sentence) << kindName(action.kind);
    }
}

TEST(TavroActionDescribe, JapaneseSentences) {
    const LanguageScope japanese({"ja-JP", "en-US"});
    const TavroScreen screen = formScreen();
    const std::vector<std::pair<TavroAction, std::string>> cases = {
        {act(Kind::click, 1), "「Save」をタップ"},
        {act(Kind::type, 2, "Ann"), "Name に「Ann」を入力"},
        {act(Kind::type, 7, "pw", true), "Password に「••••」を入力して確定"},
        {act(Kind::select, 3, "L"), "Size を「L」に設定"},
        {act(Kind::scroll, {}, "up"), "上にスクロール"},
        {act(Kind::scroll, {}, "down"), "下にスクロール"},
        {act(Kind::swipe, {}, "left"), "leftにスワイプ"},
        {act(Kind::swipe, 1, "left"), "Saveをleftにスワイプ"},
        {act(Kind::longPress, 1), "Saveを長押し"},
        {act(Kind::navigate, {}, "Settings"), "Settings を開く"},
        {act(Kind::back), "戻る"},
        {act(Kind::done, {}, "完了"), "完了"},
        {act(Kind::openWeb, {}, "天気"), "ブラウザで「天気」を開く"},
        {act(Kind::copy, {}, "abc"), "「abc」をコピー"},
        {act(Kind::copy, 1), "「Save」をコピー"},
        {act(Kind::paste, 2), "Name に貼り付け"},
        {act(Kind::saveImage), "画像を写真に保存"},
        {act(Kind::share, {}, "x"), "「x」を共有"},
        {act(Kind::share), "「#-1」を共有"},
    };
    for (const auto& [action, sentence] : cases) {
        EXPECT_EQ(action.describe(&screen), sentence) << kindName(action.kind);
    }
}

TEST(TavroActionDescribe, WithoutScreenNamesTargetsById) {
    const LanguageScope english({"en"});
    EXPECT_EQ(act(Kind::click, 1).describe(nullptr), "Tap “#1”");
    // Without a screen the field's kind is unknown, so the text is shown.
    EXPECT_EQ(act(Kind::type, 7, "pw").describe(nullptr), "Type “pw” into #7");
    EXPECT_EQ(act(Kind::longPress).describe(nullptr), "Long-press #-1");
}
