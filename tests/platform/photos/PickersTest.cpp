#include "PhotosTestSupport.h"
#include "platform/photos/ImagePickerController.h"
#include "platform/photos/PickerViewController.h"
#include "platform/photos/SavedPhotosAlbum.h"

using namespace photos;
using phototest::PhotosTest;

namespace {

// ---- the photo picker ----

TEST_F(PhotosTest, PickerHandsOverPickedPhotosWithoutLibraryAccess) {
    const auto a = addPhoto("a.jpg", 5);
    const auto b = addPhoto("b.jpg", 6);
    auto picker = std::make_shared<PickerViewController>(PickerConfiguration{1, PickerFilter::images});
    std::vector<std::vector<PickerResult>> finished;
    picker->setOnFinishPicking([&](PickerViewController& p, std::vector<PickerResult> r) {
        finished.push_back(std::move(r));
        p.dismiss(true);
    });
    EXPECT_FALSE(picker->pick({a->localIdentifier()}));  // not on screen yet
    ASSERT_TRUE(root->present(picker, true));
    actor->runUntilIdle();
    EXPECT_EQ(root->presentedViewController(), picker);
    EXPECT_TRUE(picker->view()->accessibilityElementsHidden());

    EXPECT_FALSE(picker->pick({"no-such-asset"}));
    ASSERT_TRUE(picker->pick({b->localIdentifier(), a->localIdentifier()}));
    ASSERT_EQ(finished.size(), 1u);
    ASSERT_EQ(finished[0].size(), 1u);  // the selection limit
    EXPECT_EQ(finished[0][0], (PickerResult{b->localIdentifier(), "b.jpg", "public.jpeg"}));
    EXPECT_FALSE(picker->cancel());
    actor->runUntilIdle();
    EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(PhotosTest, CancelledPickerFinishesWithNothing) {
    auto picker = std::make_shared<PickerViewController>();
    std::optional<std::vector<PickerResult>> finished;
    picker->setOnFinishPicking([&](PickerViewController&, std::vector<PickerResult> r) { finished = std::move(r); });
    ASSERT_TRUE(root->present(picker, false));
    ASSERT_TRUE(picker->cancel());
    ASSERT_TRUE(finished.has_value());
    EXPECT_TRUE(finished->empty());
}

TEST_F(PhotosTest, ImagePickerHandsOverThePhotoData) {
    const auto a = addPhoto("a.jpg", 5);
    auto picker = std::make_shared<ImagePickerController>();
    std::optional<ImagePickerController::Info> info;
    picker->setOnFinishPicking([&](ImagePickerController&, ImagePickerController::Info i) { info = std::move(i); });
    ASSERT_TRUE(root->present(picker, false));
    ASSERT_TRUE(picker->pick(a->localIdentifier()));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->mediaType, "public.image");
    EXPECT_EQ(info->originalFilename, "a.jpg");
    EXPECT_EQ(std::string(info->imageData.begin(), info->imageData.end()), "a.jpg");
}

TEST_F(PhotosTest, ImagePickerWithoutCancelHandlerDismissesItself) {
    auto picker = std::make_shared<ImagePickerController>();
    ASSERT_TRUE(root->present(picker, false));
    ASSERT_TRUE(picker->cancel());
    actor->runUntilIdle();
    EXPECT_EQ(root->presentedViewController(), nullptr);
}

// ---- saving images ----

struct Recorder : ImageSaveTarget {
    std::vector<std::optional<Error>> results;
    void finishedSaving(const ui::Image&, const std::optional<Error>& error) override { results.push_back(error); }
};

TEST_F(PhotosTest, SavingAddsAPhotoWhenAllowed) {
    library->setAuthorizationStatus(AccessLevel::addOnly, AuthorizationStatus::authorized);
    auto target = std::make_shared<Recorder>();
    imageWriteToSavedPhotosAlbum(ui::Image::filled(3, 2, ui::Color::white()), target);
    EXPECT_TRUE(target->results.empty());
    actor->runUntilIdle();
    ASSERT_EQ(target->results.size(), 1u);
    EXPECT_FALSE(target->results[0].has_value());
    const auto all = library->allAssets();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]->pixelWidth(), 3);
    EXPECT_TRUE(all[0]->creationDate().has_value());
    EXPECT_EQ(AssetResource::assetResources(*all[0]).front()->uniformTypeIdentifier(), "public.png");
}

TEST_F(PhotosTest, SavingAsksForAccessFirstAndReportsARefusal) {
    auto target = std::make_shared<Recorder>();
    imageWriteToSavedPhotosAlbum(ui::Image::filled(3, 2, ui::Color::white()), target);
    ASSERT_NE(app->systemPrompt(), nullptr);
    ASSERT_TRUE(app->answerSystemPrompt(PhotoLibrary::dontAllowButton));
    actor->runUntilIdle();
    ASSERT_EQ(target->results.size(), 1u);
    ASSERT_TRUE(target->results[0].has_value());
    EXPECT_EQ(target->results[0]->code, ErrorCode::accessUserDenied);
    EXPECT_FALSE(target->results[0]->localizedDescription.empty());
    EXPECT_TRUE(library->allAssets().empty());
}

}  // namespace
