// The agent's local operations as a run performs them: copy, paste, save image and share, with
// their failure texts as the models read them in the history.
#include "AgentTestSupport.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tavro/surfaces/UIKitSurface.h"

namespace tavro::agenttest {
namespace {

class LocalOperations : public AgentTest {
protected:
    std::shared_ptr<Script> script = std::make_shared<Script>();

    void SetUp() override {
        AgentTest::SetUp();
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        photos::PhotoLibrary::resetShared();
    }

    static std::shared_ptr<FakeSurface> form() {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen = TavroScreen{.location = "Invite",
                                      .title = "Invite",
                                      .elements = {element(1, "text", "Code", "ABC-123"), element(2, "text", "Welcome"),
                                                   element(3, "input", "Promo"), element(4, "image", "")}};
        surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            if (a.kind == TavroAction::Kind::type && a.id == 3) s.elements[2].value = a.text;
            return std::nullopt;
        };
        return surface;
    }

    // Runs a goal no rule reads, with the model answering the given replies and then done.
    TavroRunReport run(std::shared_ptr<TavroSurface> surface, std::vector<std::string> replies) {
        for (auto& r : replies) script->replies.push_back(std::move(r));
        script->replies.push_back(reply("done"));
        auto c = configuration({scriptedModel("Host", script)});
        c.approval = TavroApproval::never;  // sharing would wait for approval otherwise
        agent = makeAgent(std::move(surface), c);
        return runGoal(agent, "zq wibble frobnicate");
    }

    // What the models were told about the first operation.
    std::string outcome() const {
        if (script->prompts.size() < 2) return {};
        const auto& user = script->prompts[1].second;
        const auto arrow = user.find(" → ");
        if (arrow == std::string::npos) return {};
        const auto end = user.find('\n', arrow);
        return user.substr(arrow + 5, end == std::string::npos ? std::string::npos : end - arrow - 5);
    }

    std::shared_ptr<TavroAgent> agent;
};

TEST_F(LocalOperations, CopyPutsTheTextOnThePasteboard) {
    const auto report = run(form(), {reply("copy", std::nullopt, "hello there")});
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(ui::Pasteboard::general()->string(), "hello there");
    EXPECT_EQ(outcome(), "ok");
    ASSERT_FALSE(report.steps.empty());
    EXPECT_TRUE(report.steps[0].ok);
}

TEST_F(LocalOperations, CopyWithoutTextTakesTheElementsValueElseItsLabel) {
    run(form(), {reply("copy", 1)});
    EXPECT_EQ(ui::Pasteboard::general()->string(), "ABC-123");
    script = std::make_shared<Script>();
    run(form(), {reply("copy", 2)});
    EXPECT_EQ(ui::Pasteboard::general()->string(), "Welcome");
}

TEST_F(LocalOperations, CopyWithNothingToCopyFails) {
    const auto report = run(form(), {reply("copy", 4)});
    EXPECT_EQ(outcome(), "failed: nothing to copy");
    ASSERT_FALSE(report.steps.empty());
    EXPECT_FALSE(report.steps[0].ok);
    EXPECT_FALSE(ui::Pasteboard::general()->hasStrings());
}

TEST_F(LocalOperations, PasteWithTextTypesItThroughTheSurfaceAndLeavesThePasteboard) {
    ui::Pasteboard::general()->setString("on the board");
    auto surface = form();
    run(surface, {reply("paste", 3, "abc", true)});
    EXPECT_EQ(outcome(), "ok");
    ASSERT_EQ(surface->performed.size(), 1u);
    EXPECT_EQ(surface->performed[0].kind, TavroAction::Kind::type);
    EXPECT_EQ(surface->performed[0].id, std::optional<std::int64_t>(3));
    EXPECT_EQ(surface->performed[0].text, "abc");
    EXPECT_TRUE(surface->performed[0].submit);
    EXPECT_EQ(ui::Pasteboard::general()->string(), "on the board");
}

TEST_F(LocalOperations, PasteWithoutTextTypesThePasteboard) {
    ui::Pasteboard::general()->setString("from the board");
    auto surface = form();
    run(surface, {reply("paste", 3)});
    ASSERT_EQ(surface->performed.size(), 1u);
    EXPECT_EQ(surface->performed[0].text, "from the board");
}

TEST_F(LocalOperations, PasteFailures) {
    // The empty clipboard is found before the missing field.
    run(form(), {reply("paste")});
    EXPECT_EQ(outcome(), "failed: the clipboard is empty");
    script = std::make_shared<Script>();
    run(form(), {reply("paste", std::nullopt, "abc")});
    EXPECT_EQ(outcome(), "failed: paste needs a field");
}

TEST_F(LocalOperations, PasteReportsWhatTheSurfaceSays) {
    auto surface = form();
    surface->onPerform = [](const TavroAction&, TavroScreen&) -> std::optional<std::string> {
        return std::string("failed: the field is read-only");
    };
    run(surface, {reply("paste", 3, "abc")});
    EXPECT_EQ(outcome(), "failed: the field is read-only");
}

TEST_F(LocalOperations, WithoutTheAppWindowThereIsNothingToSaveOrShare) {
    run(form(), {reply("saveImage")});
    EXPECT_EQ(outcome(), "failed: nothing to save");
    script = std::make_shared<Script>();
    run(form(), {reply("share")});
    EXPECT_EQ(outcome(), "failed: nothing to share");
    script = std::make_shared<Script>();
    run(form(), {reply("share", std::nullopt, "a link")});
    EXPECT_EQ(outcome(), "failed: nothing to share from");
}

class LocalOperationsOnTheApp : public LocalOperations {
protected:
    std::shared_ptr<ui::Window> window;
    std::shared_ptr<ui::ViewController> root = std::make_shared<ui::ViewController>("Home");

    void SetUp() override {
        LocalOperations::SetUp();
        window = std::make_shared<ui::Window>();
        window->setWindowScene(ui::Application::shared()->connectScene());
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
};

TEST_F(LocalOperationsOnTheApp, SaveImageSavesTheAppWindowToPhotos) {
    photos::PhotoLibrary::shared()->setAuthorizationStatus(photos::AccessLevel::addOnly,
                                                           photos::AuthorizationStatus::authorized);
    const auto report = run(std::make_shared<UIKitSurface>(), {reply("saveImage")});
    EXPECT_EQ(outcome(), "ok");
    const auto saved = photos::PhotoLibrary::shared()->allAssets();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0]->pixelWidth(), static_cast<int>(window->bounds().width));
}

TEST_F(LocalOperationsOnTheApp, SaveImageWithoutPermissionGivesThePlatformsReason) {
    photos::PhotoLibrary::shared()->setAuthorizationStatus(photos::AccessLevel::addOnly,
                                                           photos::AuthorizationStatus::denied);
    run(std::make_shared<UIKitSurface>(), {reply("saveImage")});
    EXPECT_EQ(outcome(), "failed: The user denied access to the photo library.");
}

TEST_F(LocalOperationsOnTheApp, ShareWithTextSharesOnlyTheText) {
    run(std::make_shared<UIKitSurface>(), {reply("share", std::nullopt, "https://example.org")});
    EXPECT_EQ(outcome(), "ok");
    auto sheet = std::dynamic_pointer_cast<ui::ActivityViewController>(root->presentedViewController());
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->activityItems().size(), 1u);
    EXPECT_EQ(std::get<std::string>(sheet->activityItems()[0]), "https://example.org");
}

TEST_F(LocalOperationsOnTheApp, ShareWithoutTextSharesAPictureOfTheApp) {
    run(std::make_shared<UIKitSurface>(), {reply("share")});
    auto sheet = std::dynamic_pointer_cast<ui::ActivityViewController>(root->presentedViewController());
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->activityItems().size(), 1u);
    const auto* image = std::get_if<ui::Image>(&sheet->activityItems()[0]);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), window->bounds().size());
}

}  // namespace
}  // namespace tavro::agenttest
