// Whole runs on the demo app with its photo picker up: the hand-off of the newest favourite to the
// app's own photo handler, and the user's own pick when Tavro cannot choose.
#include "AgentTestSupport.h"
#include "demo/DemoApp.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/photos/PickerViewController.h"
#include "platform/ui/Application.h"
#include "tavro/agent/TavroPhotos.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro::agenttest {
namespace {

class PhotosOnTheDemo : public AgentTest {
protected:
    std::shared_ptr<demo::DemoApp> app;
    std::shared_ptr<Script> script = std::make_shared<Script>();

    void SetUp() override {
        AgentTest::SetUp();
        ui::Application::resetShared();
        photos::PhotoLibrary::resetShared();
        app = demo::DemoApp::create();
        script->otherwise = reply("done");
    }
    void TearDown() override {
        AgentTest::TearDown();
        app.reset();
        TavroPhotos::handler = nullptr;
    }

    // The demo's "Choose Photo", as a person taps it on Home.
    std::shared_ptr<photos::PickerViewController> openPicker() {
        app->showPhotoPicker();
        actor->runUntilIdle();
        return std::dynamic_pointer_cast<photos::PickerViewController>(TavroPhotos::systemPicker(app->window()));
    }

    std::shared_ptr<TavroAgent> agentOnTheApp(TavroConfiguration c) {
        return makeAgent(std::make_shared<UIKitSurface>(app->routes()), std::move(c));
    }
    std::shared_ptr<TavroAgent> agentOnTheApp() { return agentOnTheApp(configuration({scriptedModel("Host", script)})); }

    bool pickerUp() const { return app->window()->rootViewController()->presentedViewController() != nullptr; }
};

TEST_F(PhotosOnTheDemo, PickAPhotoForMyProfileHandsTheNewestFavouriteToTheApp) {
    ASSERT_NE(openPicker(), nullptr);
    auto agent = agentOnTheApp();
    const auto report = runGoal(agent, "pick a photo for my profile");

    EXPECT_TRUE(report.ok) << report.status;
    // Newer than it are an ordinary photo and a screenshot; the favourite wins.
    EXPECT_EQ(app->chosenPhoto(), "IMG_0142.JPG");
    EXPECT_FALSE(pickerUp());
    ASSERT_GE(report.steps.size(), 2u);
    EXPECT_EQ(report.steps[0].text, "Picked your latest favourite photo");
    EXPECT_TRUE(report.steps[0].ok);
    EXPECT_EQ(report.steps.back().text, "✓ Done.");
}

TEST_F(PhotosOnTheDemo, RulesAloneOpenThePickerFromHomeAndHandOverThePhoto) {
    auto agent = agentOnTheApp(TavroConfiguration{});
    const auto report = runGoal(agent, "tap Choose Photo");

    EXPECT_TRUE(report.ok) << report.status;
    EXPECT_EQ(app->chosenPhoto(), "IMG_0142.JPG");
    EXPECT_FALSE(pickerUp());
    ASSERT_GE(report.steps.size(), 2u);
    EXPECT_EQ(report.steps[0].text, "Tap “Choose Photo”");
    EXPECT_EQ(report.steps[1].text, "Picked your latest favourite photo");
    EXPECT_EQ(report.steps.back().text, "✓ Done.");
}

TEST_F(PhotosOnTheDemo, AfterAResetTheHandOffStillReachesTheApp) {
    TavroPhotos::handler = nullptr;
    app->reset();
    ASSERT_NE(openPicker(), nullptr);
    const auto report = runGoal(agentOnTheApp(), "pick a photo for my profile");
    EXPECT_TRUE(report.ok) << report.status;
    EXPECT_EQ(app->chosenPhoto(), "IMG_0142.JPG");
}

TEST_F(PhotosOnTheDemo, WithoutAHandlerTheUserPicksAndTheRunCarriesOn) {
    TavroPhotos::handler = nullptr;
    auto picker = openPicker();
    ASSERT_NE(picker, nullptr);
    auto agent = agentOnTheApp();
    auto run = rt::spawn(agent->runAndWait("pick a photo for my profile", 600), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    EXPECT_EQ(agent->prompt().value()->kind(), TavroAgent::Prompt::Case::human);

    // The person picks inside the picker; the app closes it and the watcher notices.
    const auto oldest = photos::PhotoLibrary::shared()->allAssets().front()->localIdentifier();
    ASSERT_TRUE(picker->pick({oldest}));
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_TRUE(run.result()->ok) << run.result()->status;
    EXPECT_EQ(app->chosenPhoto(), "IMG_0101.JPG");
    EXPECT_FALSE(pickerUp());
    const auto report = run.result().value_or(TavroRunReport{});
    for (const auto& line : report.steps) EXPECT_FALSE(line.text.starts_with("Picked")) << line.text;
}

TEST_F(PhotosOnTheDemo, AGoalNotAboutPhotosHandsThePickerToTheUser) {
    auto picker = openPicker();
    ASSERT_NE(picker, nullptr);
    auto agent = agentOnTheApp();
    auto run = rt::spawn(agent->runAndWait("zq wibble frobnicate", 600), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    EXPECT_EQ(agent->prompt().value()->kind(), TavroAgent::Prompt::Case::human);
    ASSERT_TRUE(picker->cancel());
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_EQ(app->chosenPhoto(), std::nullopt);
    EXPECT_FALSE(pickerUp());
}

TEST_F(PhotosOnTheDemo, AFailedExportIsLoggedAndTheUserPicks) {
    photos::NewAsset broken;
    broken.favorite = true;
    broken.creationDate = std::chrono::sys_days{std::chrono::year{2025} / 1 / 1};
    broken.resources.push_back({photos::ResourceType::photo, "gone.jpg", "public.jpeg", std::nullopt, false});
    photos::PhotoLibrary::shared()->add(broken);
    auto picker = openPicker();
    ASSERT_NE(picker, nullptr);
    auto agent = agentOnTheApp();
    auto run = rt::spawn(agent->runAndWait("set my profile picture", 600), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    ASSERT_FALSE(agent->log().value().empty());
    EXPECT_EQ(agent->log().value()[0].text, "I couldn't load that photo.");
    EXPECT_FALSE(agent->log().value()[0].ok);
    ASSERT_TRUE(picker->cancel());
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_EQ(app->chosenPhoto(), std::nullopt);
}

}  // namespace
}  // namespace tavro::agenttest
