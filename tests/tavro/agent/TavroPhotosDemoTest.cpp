// Whole runs on the demo app with the system photo picker up: the hand-off of the newest favourite
// to the host's handler, and the user's own pick when Tavro cannot choose.
#include <fstream>
#include <iterator>

#include "AgentTestSupport.h"
#include "demo/DemoApp.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/photos/PickerViewController.h"
#include "platform/ui/Application.h"
#include "tavro/agent/TavroPhotos.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro::agenttest {
namespace {

struct Handed {
    int calls = 0;
    std::string name;
    std::string contents;
};

rt::Task<bool> takePhoto(Handed* handed, std::filesystem::path file, std::string name, std::optional<photos::UTType>) {
    ++handed->calls;
    handed->name = std::move(name);
    std::ifstream in(file, std::ios::binary);
    handed->contents.assign(std::istreambuf_iterator<char>(in), {});
    co_return true;
}

class PhotosOnTheDemo : public AgentTest {
protected:
    std::shared_ptr<demo::DemoApp> app;
    std::shared_ptr<photos::PhotoLibrary> library;
    std::shared_ptr<Script> script = std::make_shared<Script>();
    std::shared_ptr<photos::PickerViewController> picker;
    Handed handed;

    void SetUp() override {
        AgentTest::SetUp();
        ui::Application::resetShared();
        photos::PhotoLibrary::resetShared();
        library = photos::PhotoLibrary::shared();
        library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::authorized);
        add("IMG_0100.JPG", 600, true);
        add("IMG_0200.JPG", 60, true);
        add("IMG_0300.JPG", 5);
        add("IMG_0301.PNG", 1, false, true);
        app = demo::DemoApp::create();
        // The host presented the system photo picker, as the app's "Choose Photo" would; it closes
        // the picker itself when a person picks.
        picker = std::make_shared<photos::PickerViewController>();
        picker->setOnFinishPicking([](photos::PickerViewController& p, std::vector<photos::PickerResult>) {
            p.dismiss(true);
        });
        ASSERT_TRUE(app->window()->topPresentedViewController()->present(picker, false));
        script->otherwise = reply("done");
    }
    void TearDown() override {
        TavroPhotos::handler = nullptr;
        AgentTest::TearDown();
        app.reset();
    }

    void add(std::string name, int minutesAgo, bool favorite = false, bool screenshot = false) {
        photos::NewAsset a;
        a.creationDate = photos::Date(std::chrono::hours(480000)) - std::chrono::minutes(minutesAgo);
        a.favorite = favorite;
        a.mediaSubtypes = screenshot ? photos::MediaSubtype::photoScreenshot : 0u;
        a.resources.push_back({photos::ResourceType::photo, name, "public.jpeg",
                               std::vector<std::uint8_t>(name.begin(), name.end()), false});
        library->add(std::move(a));
    }

    std::shared_ptr<TavroAgent> agentOnTheApp() {
        return makeAgent(std::make_shared<UIKitSurface>(app->routes()),
                         configuration({scriptedModel("Host", script)}));
    }
};

TEST_F(PhotosOnTheDemo, PickAPhotoForMyProfileHandsTheNewestFavouriteToTheHost) {
    TavroPhotos::handler = [h = &handed](std::filesystem::path f, std::string n, std::optional<photos::UTType> t) {
        return takePhoto(h, std::move(f), std::move(n), std::move(t));
    };
    auto agent = agentOnTheApp();
    const auto report = runGoal(agent, "pick a photo for my profile");

    EXPECT_TRUE(report.ok) << report.status;
    EXPECT_EQ(handed.calls, 1);
    EXPECT_EQ(handed.name, "IMG_0200.JPG");
    EXPECT_EQ(handed.contents, "IMG_0200.JPG");
    EXPECT_EQ(app->window()->rootViewController()->presentedViewController(), nullptr);
    ASSERT_GE(report.steps.size(), 2u);
    EXPECT_EQ(report.steps[0].text, "Picked your latest favourite photo");
    EXPECT_TRUE(report.steps[0].ok);
    EXPECT_EQ(report.steps.back().text, "✓ Done.");
}

TEST_F(PhotosOnTheDemo, WithoutAHandlerTheUserPicksAndTheRunCarriesOn) {
    auto agent = agentOnTheApp();
    auto run = rt::spawn(agent->runAndWait("pick a photo for my profile", 600), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    EXPECT_EQ(agent->prompt().value()->kind(), TavroAgent::Prompt::Case::human);

    // The person picks inside the picker; the app closes it and the watcher notices.
    const auto first = library->allAssets().front()->localIdentifier();
    ASSERT_TRUE(picker->pick({first}));
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_TRUE(run.result()->ok) << run.result()->status;
    EXPECT_EQ(handed.calls, 0);
    EXPECT_EQ(app->window()->rootViewController()->presentedViewController(), nullptr);
    const auto report = run.result().value_or(TavroRunReport{});
    for (const auto& line : report.steps) EXPECT_FALSE(line.text.starts_with("Picked")) << line.text;
}

TEST_F(PhotosOnTheDemo, AGoalNotAboutPhotosHandsThePickerToTheUser) {
    TavroPhotos::handler = [h = &handed](std::filesystem::path f, std::string n, std::optional<photos::UTType> t) {
        return takePhoto(h, std::move(f), std::move(n), std::move(t));
    };
    auto agent = agentOnTheApp();
    auto run = rt::spawn(agent->runAndWait("zq wibble frobnicate", 600), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    EXPECT_EQ(agent->prompt().value()->kind(), TavroAgent::Prompt::Case::human);
    ASSERT_TRUE(picker->cancel());
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_EQ(handed.calls, 0);
}

TEST_F(PhotosOnTheDemo, AFailedExportIsLoggedAndTheUserPicks) {
    TavroPhotos::handler = [h = &handed](std::filesystem::path f, std::string n, std::optional<photos::UTType> t) {
        return takePhoto(h, std::move(f), std::move(n), std::move(t));
    };
    photos::NewAsset broken;
    broken.favorite = true;
    broken.creationDate = photos::Date(std::chrono::hours(480001));
    broken.resources.push_back({photos::ResourceType::photo, "gone.jpg", "public.jpeg", std::nullopt, false});
    library->add(broken);
    auto agent = agentOnTheApp();
    auto run = rt::spawn(agent->runAndWait("set my profile picture", 600), actor);
    ASSERT_TRUE(runUntil([&] { return agent->prompt().value().has_value(); }));
    ASSERT_FALSE(agent->log().value().empty());
    EXPECT_EQ(agent->log().value()[0].text, "I couldn't load that photo.");
    EXPECT_FALSE(agent->log().value()[0].ok);
    ASSERT_TRUE(picker->cancel());
    ASSERT_TRUE(runUntil([&] { return run.isDone(); }));
    EXPECT_EQ(handed.calls, 0);
}

}  // namespace
}  // namespace tavro::agenttest
