#include "platform/photos/PhotosTestSupport.h"
#include "platform/ui/ActivityViewController.h"
#include "tavro/agent/TavroOps.h"
#include "tavro/surfaces/UIKitSurface.h"

using OpsTest = phototest::PhotosTest;
using tavro::TavroOps;

namespace {

TEST_F(OpsTest, AppWindowIsTheNativeSurfacesWindowOnly) {
    EXPECT_EQ(TavroOps::appWindow(nullptr), nullptr);
    EXPECT_EQ(TavroOps::appWindow(std::make_shared<tavro::UIKitSurface>()), window);
}

TEST_F(OpsTest, WindowImageIsTheWindowAtItsSize) {
    EXPECT_FALSE(TavroOps::windowImage(nullptr).has_value());
    root->view()->setBackgroundColor(ui::Color::rgb(10, 20, 30));
    const auto image = TavroOps::windowImage(window);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->size(), window->bounds().size());
    EXPECT_EQ(image->pixel(5, 5), ui::Color::rgb(10, 20, 30));
}

TEST_F(OpsTest, SavingToPhotosAddsThePicture) {
    library->setAuthorizationStatus(photos::AccessLevel::addOnly, photos::AuthorizationStatus::authorized);
    const auto result = rt::runToEnd(actor, TavroOps::saveToPhotos(ui::Image::filled(4, 4, ui::Color::white())));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, std::nullopt);
    EXPECT_EQ(library->allAssets().size(), 1u);
}

TEST_F(OpsTest, SavingWithoutPermissionGivesTheLibrarysDescription) {
    library->setAuthorizationStatus(photos::AccessLevel::addOnly, photos::AuthorizationStatus::denied);
    const auto result = rt::runToEnd(actor, TavroOps::saveToPhotos(ui::Image::filled(4, 4, ui::Color::white())));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, std::optional<std::string>("failed: The user denied access to the photo library."));
}

TEST_F(OpsTest, ASecondSaveWhileOneIsPendingFailsAndTheFirstStillAnswers) {
    // Undecided access: the first save waits on the permission prompt.
    auto first = rt::spawn(TavroOps::saveToPhotos(ui::Image::filled(4, 4, ui::Color::white())), actor);
    actor->runUntilIdle();
    ASSERT_NE(app->systemPrompt(), nullptr);
    auto second = rt::spawn(TavroOps::saveToPhotos(ui::Image::filled(2, 2, ui::Color::white())), actor);
    actor->runUntilIdle();
    ASSERT_TRUE(second.isDone());
    EXPECT_EQ(*second.result(), std::optional<std::string>("failed: another save to Photos is still in progress"));
    EXPECT_FALSE(first.isDone());
    app->answerSystemPrompt(photos::PhotoLibrary::allowAddButton);
    actor->runUntil([&] { return first.isDone(); });
    EXPECT_EQ(*first.result(), std::nullopt);
    EXPECT_EQ(library->allAssets().size(), 1u);

    // Nothing is left pending: the next save goes through.
    const auto third = rt::runToEnd(actor, TavroOps::saveToPhotos(ui::Image::filled(2, 2, ui::Color::white())));
    EXPECT_EQ(*third, std::nullopt);
}

TEST_F(OpsTest, ShareNeedsAWindowWithARoot) {
    EXPECT_EQ(TavroOps::share({std::string("x")}, nullptr), "failed: nothing to share from");
    EXPECT_EQ(TavroOps::share({std::string("x")}, std::make_shared<ui::Window>()), "failed: nothing to share from");
}

TEST_F(OpsTest, SharePresentsOverTheTopControllerAndReturnsAtOnce) {
    auto sheet = std::make_shared<ui::ViewController>("Post");
    ASSERT_TRUE(root->present(sheet, false));
    EXPECT_EQ(TavroOps::share({std::string("hello")}, window), std::nullopt);
    auto shown = std::dynamic_pointer_cast<ui::ActivityViewController>(sheet->presentedViewController());
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isBeingPresented());
    ASSERT_EQ(shown->activityItems().size(), 1u);
    EXPECT_EQ(std::get<std::string>(shown->activityItems()[0]), "hello");
    EXPECT_EQ(shown->popoverPresentationController(), nullptr);  // a phone shows a sheet
}

TEST_F(OpsTest, ShareWhileASheetIsUpPresentsFromTheControllerBeneath) {
    ASSERT_EQ(TavroOps::share({std::string("one")}, window), std::nullopt);
    actor->runUntilIdle();
    auto old = root->presentedViewController();
    ASSERT_NE(std::dynamic_pointer_cast<ui::ActivityViewController>(old), nullptr);

    ASSERT_EQ(TavroOps::share({std::string("two")}, window), std::nullopt);
    auto now = std::dynamic_pointer_cast<ui::ActivityViewController>(root->presentedViewController());
    ASSERT_NE(now, nullptr);
    EXPECT_NE(now, old);
    EXPECT_EQ(now->presentingViewController(), root);
    EXPECT_EQ(std::get<std::string>(now->activityItems()[0]), "two");
}

TEST_F(OpsTest, ShareOnATabletAnchorsThePopoverAboveTheBottomMiddle) {
    app->setUserInterfaceIdiom(ui::Application::Idiom::pad);
    ASSERT_EQ(TavroOps::share({ui::Image::filled(1, 1, ui::Color::white())}, window), std::nullopt);
    auto shown = root->presentedViewController();
    ASSERT_NE(shown, nullptr);
    const auto* popover = shown->popoverPresentationController();
    ASSERT_NE(popover, nullptr);
    EXPECT_EQ(popover->sourceView.lock(), root->view());
    const auto b = root->view()->bounds();
    EXPECT_EQ(popover->sourceRect, (ui::Rect{b.width / 2, b.height - 40, 1, 1}));
    EXPECT_EQ(popover->permittedArrowDirections, 0u);
}

}  // namespace
