#include <type_traits>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/objc/Runtime.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"
#include "platform/ui/WebView.h"

using namespace ui;

// A scene is only made by the application, which hands it out by shared pointer.
static_assert(!std::is_default_constructible_v<WindowScene>);
static_assert(!std::is_default_constructible_v<WindowScene::PassKey>);
using namespace std::chrono_literals;
using uitest::UiTest;

using ApplicationState = UiTest;

TEST_F(ApplicationState, StateChangesPostEachStepAndScenesFollow) {
    record({Notification::willResignActive, Notification::didEnterBackground, Notification::willEnterForeground,
            Notification::didBecomeActive, Notification::sceneDidActivate, Notification::sceneWillDeactivate});
    app->setApplicationState(Application::State::background);
    EXPECT_EQ(scene->activationState(), WindowScene::ActivationState::background);
    app->setApplicationState(Application::State::active);
    EXPECT_EQ(scene->activationState(), WindowScene::ActivationState::foregroundActive);
    actor->runUntilIdle();
    EXPECT_EQ(posted, (std::vector<std::string>{
                          "UIApplicationWillResignActiveNotification", "UISceneWillDeactivateNotification",
                          "UIApplicationDidEnterBackgroundNotification",
                          "UIApplicationWillEnterForegroundNotification", "UISceneDidActivateNotification",
                          "UIApplicationDidBecomeActiveNotification"}));
}

TEST_F(ApplicationState, SystemPromptKeepsTheAppInactiveUntilAnswered) {
    std::string answer;
    ASSERT_TRUE(app->showSystemPrompt({"“Demo” Would Like to Send You Notifications", "",
                                       {"Don't Allow", "Allow"}, [&](const std::string& a) { answer = a; }}));
    EXPECT_EQ(app->applicationState(), Application::State::inactive);
    EXPECT_EQ(scene->activationState(), WindowScene::ActivationState::foregroundInactive);
    EXPECT_FALSE(app->showSystemPrompt({"Another", "", {"OK"}, {}}));
    EXPECT_FALSE(app->answerSystemPrompt("Maybe"));
    EXPECT_NE(app->systemPrompt(), nullptr);
    EXPECT_TRUE(app->answerSystemPrompt("Allow"));
    EXPECT_EQ(answer, "Allow");
    EXPECT_EQ(app->applicationState(), Application::State::active);
    EXPECT_EQ(app->systemPrompt(), nullptr);
    EXPECT_FALSE(app->answerSystemPrompt("Allow"));
}

TEST_F(ApplicationState, OpenedAddressesAreRecordedWhenTheyHaveAScheme) {
    std::vector<bool> results;
    app->open("https://example.org/a?b=1", [&](bool ok) { results.push_back(ok); });
    app->open("not an address", [&](bool ok) { results.push_back(ok); });
    app->open("tel:+81312345678");
    EXPECT_EQ(results, (std::vector<bool>{true, false}));
    EXPECT_EQ(app->openedURLs(), (std::vector<std::string>{"https://example.org/a?b=1", "tel:+81312345678"}));
}

TEST_F(ApplicationState, TheIdleTimerFlagIsReachableByName) {
    auto cls = objc::Runtime::classNamed("UIApplication");
    ASSERT_NE(cls, nullptr);
    auto shared = objc::valueForKey(cls, "sharedApplication");
    ASSERT_TRUE(shared.has_value());
    auto object = shared->object();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->className(), "UIApplication");
    EXPECT_EQ(object->valueForKey("idleTimerDisabled")->boolean(), false);
    object->setValue(true, "idleTimerDisabled");
    EXPECT_TRUE(app->isIdleTimerDisabled());
    app->setIdleTimerDisabled(false);
    EXPECT_EQ(object->valueForKey("idleTimerDisabled")->boolean(), false);
    // The bridge follows a fresh shared application.
    Application::resetShared();
    Application::shared()->setIdleTimerDisabled(true);
    auto again = objc::valueForKey(objc::Runtime::classNamed("UIApplication"), "sharedApplication");
    EXPECT_EQ(again->object()->valueForKey("idleTimerDisabled")->boolean(), true);
}

TEST_F(ApplicationState, EachSceneHasOneKeyWindow) {
    auto overlay = std::make_shared<Window>();
    overlay->setWindowLevel(WindowLevel::statusBar);
    overlay->setWindowScene(scene);
    EXPECT_TRUE(window->isKeyWindow());
    overlay->makeKeyAndVisible();
    EXPECT_TRUE(overlay->isKeyWindow());
    EXPECT_FALSE(window->isKeyWindow());
    EXPECT_EQ(scene->windows().size(), 2u);
    EXPECT_EQ(app->windows().size(), 2u);
    overlay->setWindowScene(nullptr);
    EXPECT_EQ(scene->keyWindow(), nullptr);
    app->disconnectScene(scene);
    EXPECT_TRUE(app->connectedScenes().empty());
    EXPECT_EQ(scene->activationState(), WindowScene::ActivationState::unattached);
}

TEST_F(ApplicationState, KeyboardNotificationsCarryTheKeyboardFrame) {
    double height = -1;
    tokens.push_back(fnd::NotificationCenter::defaultCenter()->observe(
        std::string(Notification::keyboardWillShow), [&](const fnd::Notification& n) {
            height = n.userInfo[std::string(Notification::keyboardFrameEndKey)]["height"].get<double>();
        }));
    auto field = std::make_shared<TextField>("Name");
    window->addSubview(field);
    ASSERT_TRUE(field->tap());
    actor->runUntilIdle();
    EXPECT_EQ(height, app->keyboardFrame().height);
    EXPECT_GT(height, 0);
}

using Rendering = UiTest;

TEST_F(Rendering, AWindowImageShowsItsViewsColoursAndSavesAsPng) {
    auto red = std::make_shared<View>(Rect{10, 20, 30, 40});
    red->setBackgroundColor(Color::systemRed());
    window->addSubview(red);
    auto hidden = std::make_shared<View>(Rect{100, 100, 10, 10});
    hidden->setBackgroundColor(Color::black());
    hidden->setHidden(true);
    window->addSubview(hidden);
    window->addSubview(std::make_shared<Switch>(true, Rect{200, 200, 51, 31}));

    const Image image = ImageRenderer(window->bounds().size()).image(*window);
    EXPECT_EQ(image.width, 390);
    EXPECT_EQ(image.height, 844);
    EXPECT_EQ(image.pixel(15, 25), Color::systemRed());
    EXPECT_EQ(image.pixel(105, 105), Color::white());
    EXPECT_EQ(image.pixel(203, 215), Color::systemGreen());
    window->setInterfaceStyle(InterfaceStyle::dark);
    const Image dark = ImageRenderer(window->bounds().size()).image(*window);
    EXPECT_NE(dark.pixel(105, 105), Color::white());

    const auto png = image.pngData();
    ASSERT_GT(png.size(), 390u * 844u * 4u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    EXPECT_EQ(std::string(png.end() - 8, png.end() - 4), "IEND");
}

TEST_F(Rendering, PasteboardHoldsOneTextOrImageAndCountsChanges) {
    auto board = Pasteboard::general();
    EXPECT_FALSE(board->hasStrings());
    board->setString("hi");
    board->setImage(Image::filled(1, 1, Color::black()));
    EXPECT_FALSE(board->string().has_value());
    EXPECT_TRUE(board->hasImages());
    EXPECT_EQ(board->changeCount(), 2);
    Pasteboard::resetGeneral();
    EXPECT_FALSE(board->hasImages());
}

using Web = UiTest;

TEST_F(Web, WithAPageHandlerLoadingEndsOnTheClockAndScriptsWaitForIt) {
    auto web = std::make_shared<WebView>(Rect{0, 0, 390, 700});
    window->addSubview(web);
    web->setScriptHandler([](const std::string& url, const std::string& script) {
        return WebView::ScriptResult{nlohmann::json{{"url", url}, {"script", script}}, ""};
    });
    int loads = 0;
    web->addLoadObserver([&](WebView&) { ++loads; });
    web->load("https://example.org");
    EXPECT_TRUE(web->isLoading());
    auto early = rt::runToEnd(actor, web->evaluate("document.title"));
    ASSERT_TRUE(early.has_value());
    EXPECT_EQ(early->error, "the page is still loading");
    actor->runUntilIdle();
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(elapsed(), 100ms);
    auto answer = rt::runToEnd(actor, web->evaluate("read()"));
    ASSERT_TRUE(answer->value.has_value());
    EXPECT_EQ((*answer->value)["url"], "https://example.org");
    EXPECT_EQ((*answer->value)["script"], "read()");
}
