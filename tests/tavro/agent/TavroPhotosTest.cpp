#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/photos/PhotosTestSupport.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PreferredLanguages.h"
#include "platform/foundation/Uuid.h"
#include "platform/photos/ImagePickerController.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/photos/PickerViewController.h"
#include "platform/runtime/MainActor.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "tavro/agent/TavroPhotos.h"

using tavro::TavroPhotos;
using Outcome = TavroPhotos::Outcome;

namespace {

// ---- wanted ----

struct WantedCase {
    const char* goal;
    bool wanted;
};
void PrintTo(const WantedCase& c, std::ostream* os) { *os << '"' << c.goal << '"'; }

class PhotosWanted : public ::testing::TestWithParam<WantedCase> {};

TEST_P(PhotosWanted, MatchesWholePhotoWords) { EXPECT_EQ(TavroPhotos::wanted(GetParam().goal), GetParam().wanted); }

INSTANTIATE_TEST_SUITE_P(Goals, PhotosWanted,
                         ::testing::Values(WantedCase{"pick a photo for my profile", true},
                                           WantedCase{"Set a SELFIE as avatar", true},
                                           WantedCase{"choose Pictures", true},
                                           WantedCase{"open the Camera Roll", true},
                                           WantedCase{"attach an image", true},
                                           WantedCase{"send pics to Tuli", true},
                                           WantedCase{"open the gallery", true},
                                           WantedCase{"プロフィールの写真を変えて", true},
                                           WantedCase{"画像を送って", true},
                                           WantedCase{"I pictured it differently", false},
                                           WantedCase{"imagery settings", false},
                                           WantedCase{"photograph", false},
                                           WantedCase{"open Settings then turn on Dark Mode", false},
                                           WantedCase{"", false}));

// ---- the hand-off ----

struct Received {
    int calls = 0;
    std::filesystem::path file;
    std::string name;
    std::optional<photos::UTType> type;
    bool pickerStillShown = false;
    std::string contents;
};

rt::Task<bool> receive(Received* sink, std::shared_ptr<ui::ViewController> root, bool answer,
                       std::filesystem::path file, std::string name, std::optional<photos::UTType> type) {
    ++sink->calls;
    sink->file = file;
    sink->name = std::move(name);
    sink->type = std::move(type);
    sink->pickerStillShown = root->presentedViewController() != nullptr;
    std::ifstream in(file, std::ios::binary);
    sink->contents.assign(std::istreambuf_iterator<char>(in), {});
    co_return answer;
}

struct PhotoHandOff : phototest::PhotosTest {
    Received received;

    PhotoHandOff() {
        library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::authorized);
        setHandler(true);
    }
    ~PhotoHandOff() override { TavroPhotos::handler = nullptr; }

    void setHandler(bool answer) {
        TavroPhotos::handler = [sink = &received, root = root, answer](std::filesystem::path f, std::string n,
                                                                        std::optional<photos::UTType> t) {
            return receive(sink, root, answer, std::move(f), std::move(n), std::move(t));
        };
    }

    std::shared_ptr<photos::PickerViewController> showPicker() {
        auto picker = std::make_shared<photos::PickerViewController>();
        EXPECT_TRUE(root->present(picker, false));
        return picker;
    }

    Outcome handOff(std::shared_ptr<ui::ViewController> picker) {
        auto result = rt::runToEnd(actor, TavroPhotos::handle(std::move(picker)));
        EXPECT_TRUE(result.has_value());
        return result.value_or(Outcome::notHandled());
    }
};

TEST_F(PhotoHandOff, FindsThePickerInThePresentedChainOnly) {
    EXPECT_EQ(TavroPhotos::systemPicker(nullptr), nullptr);
    EXPECT_EQ(TavroPhotos::systemPicker(window), nullptr);
    auto sheet = std::make_shared<ui::ViewController>("Edit");
    ASSERT_TRUE(root->present(sheet, false));
    auto picker = std::make_shared<photos::ImagePickerController>();
    ASSERT_TRUE(sheet->present(picker, false));
    EXPECT_EQ(TavroPhotos::systemPicker(window), picker);

    // A picker as the root itself is not looked at.
    auto other = std::make_shared<ui::Window>();
    other->setRootViewController(std::make_shared<photos::PickerViewController>());
    EXPECT_EQ(TavroPhotos::systemPicker(other), nullptr);
}

TEST_F(PhotoHandOff, HandsOverTheNewestFavouriteEvenWhenANewerPhotoExists) {
    addPhoto("IMG_0001.JPG", 300, true);
    addPhoto("IMG_0002.JPG", 100, true);
    addPhoto("IMG_0003.JPG", 1);
    auto picker = showPicker();

    EXPECT_EQ(handOff(picker), Outcome::picked("your latest favourite photo"));
    ASSERT_EQ(received.calls, 1);
    EXPECT_EQ(received.name, "IMG_0002.JPG");
    EXPECT_EQ(received.contents, "IMG_0002.JPG");
    ASSERT_TRUE(received.type.has_value());
    EXPECT_EQ(received.type->identifier(), "public.jpeg");
    EXPECT_FALSE(received.pickerStillShown);  // closed before the handler runs
    EXPECT_EQ(received.file.filename(), "IMG_0002.JPG");
    EXPECT_EQ(received.file.parent_path().parent_path(), fnd::AppDirectories::temporary());
    const std::string dir = received.file.parent_path().filename().string();
    ASSERT_EQ(dir.rfind("tavro-photo-", 0), 0u);
    EXPECT_TRUE(fnd::Uuid::parse(dir.substr(12)).has_value());
    EXPECT_TRUE(std::filesystem::exists(received.file));  // left in place
}

TEST_F(PhotoHandOff, WithoutFavouritesSkipsScreenshots) {
    addPhoto("plain.jpg", 50);
    addPhoto("shot.png", 1, false, true);
    EXPECT_EQ(handOff(showPicker()), Outcome::picked("your latest photo"));
    EXPECT_EQ(received.name, "plain.jpg");
}

TEST_F(PhotoHandOff, OnlyScreenshotsGiveTheNewestScreenshot) {
    addPhoto("old.png", 50, false, true);
    addPhoto("new.png", 1, false, true);
    EXPECT_EQ(handOff(showPicker()), Outcome::picked("your latest photo"));
    EXPECT_EQ(received.name, "new.png");
}

TEST_F(PhotoHandOff, LimitedAccessIsEnough) {
    addPhoto("other.jpg", 1, true);
    const auto chosen = addPhoto("chosen.jpg", 10);
    library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::limited);
    library->setLimitedSelection({chosen->localIdentifier()});
    EXPECT_EQ(handOff(showPicker()), Outcome::picked("your latest photo"));
    EXPECT_EQ(received.name, "chosen.jpg");
}

TEST_F(PhotoHandOff, NoHandlerDoesNothingNotEvenAskForAccess) {
    TavroPhotos::handler = nullptr;
    library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::notDetermined);
    addPhoto("a.jpg", 1, true);
    auto picker = showPicker();
    EXPECT_EQ(handOff(picker), Outcome::notHandled());
    EXPECT_EQ(app->systemPrompt(), nullptr);
    EXPECT_EQ(root->presentedViewController(), picker);
}

TEST_F(PhotoHandOff, AsksForAccessAndGoesOnWhenGranted) {
    library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::notDetermined);
    addPhoto("a.jpg", 1, true);
    auto task = rt::spawn(TavroPhotos::handle(showPicker()), actor);
    actor->runUntilIdle();
    ASSERT_NE(app->systemPrompt(), nullptr);
    EXPECT_FALSE(task.isDone());
    app->answerSystemPrompt(photos::PhotoLibrary::allowFullAccessButton);
    actor->runUntil([&] { return task.isDone(); });
    EXPECT_EQ(task.result(), Outcome::picked("your latest favourite photo"));
}

TEST_F(PhotoHandOff, RefusedOrDeniedAccessIsNotHandled) {
    addPhoto("a.jpg", 1, true);
    library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::notDetermined);
    auto task = rt::spawn(TavroPhotos::handle(showPicker()), actor);
    actor->runUntilIdle();
    app->answerSystemPrompt(photos::PhotoLibrary::dontAllowButton);
    actor->runUntil([&] { return task.isDone(); });
    EXPECT_EQ(task.result(), Outcome::notHandled());

    library->setAuthorizationStatus(photos::AccessLevel::readWrite, photos::AuthorizationStatus::restricted);
    EXPECT_EQ(handOff(root->presentedViewController()), Outcome::notHandled());
    EXPECT_EQ(received.calls, 0);
}

TEST_F(PhotoHandOff, EmptyLibraryIsNotHandled) { EXPECT_EQ(handOff(showPicker()), Outcome::notHandled()); }

TEST_F(PhotoHandOff, UnloadablePhotoFailsAndLeavesThePickerUp) {
    photos::NewAsset a;
    a.favorite = true;
    a.resources.push_back({photos::ResourceType::photo, "gone.jpg", "public.jpeg", std::nullopt, false});
    library->add(a);
    auto picker = showPicker();
    EXPECT_EQ(handOff(picker), Outcome::failed("I couldn't load that photo."));
    EXPECT_EQ(root->presentedViewController(), picker);
    EXPECT_EQ(received.calls, 0);
}

TEST_F(PhotoHandOff, RefusingHandlerFailsAfterThePickerClosed) {
    setHandler(false);
    addPhoto("a.jpg", 1);
    EXPECT_EQ(handOff(showPicker()), Outcome::failed("The app didn't accept the photo."));
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(received.calls, 1);
}

TEST_F(PhotoHandOff, EachHandOffWritesANewDirectory) {
    addPhoto("a.jpg", 1);
    ASSERT_EQ(handOff(showPicker()).kind(), Outcome::Case::picked);
    const auto first = received.file;
    ASSERT_EQ(handOff(showPicker()).kind(), Outcome::Case::picked);
    EXPECT_NE(first.parent_path(), received.file.parent_path());
    EXPECT_TRUE(std::filesystem::exists(first));
}

TEST_F(PhotoHandOff, PrefersThePhotoResourceAndKeepsUnknownTypesEmpty) {
    photos::NewAsset a;
    a.resources.push_back({photos::ResourceType::adjustmentData, "Adjustments.plist", "com.apple.property-list",
                           std::vector<std::uint8_t>{1}, false});
    a.resources.push_back({photos::ResourceType::fullSizePhoto, "FullSize.xyz", "com.example.raw",
                           std::vector<std::uint8_t>{2}, false});
    library->add(a);
    ASSERT_EQ(handOff(showPicker()).kind(), Outcome::Case::picked);
    EXPECT_EQ(received.name, "FullSize.xyz");
    EXPECT_FALSE(received.type.has_value());
}

TEST_F(PhotoHandOff, HostileFileNameStaysInsideTheExportDirectory) {
    addPhoto("../../escape.jpg", 1);
    ASSERT_EQ(handOff(showPicker()).kind(), Outcome::Case::picked);
    EXPECT_EQ(received.name, "../../escape.jpg");
    EXPECT_EQ(received.file.parent_path().parent_path(), fnd::AppDirectories::temporary());
    EXPECT_FALSE(std::filesystem::exists(fnd::AppDirectories::temporary().parent_path() / "escape.jpg"));
    addPhoto("/abs.jpg", 0);
    ASSERT_EQ(handOff(showPicker()).kind(), Outcome::Case::picked);
    EXPECT_EQ(received.file.parent_path().parent_path(), fnd::AppDirectories::temporary());
}

TEST_F(PhotoHandOff, JapaneseWords) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    addPhoto("a.jpg", 1, true);
    EXPECT_EQ(handOff(showPicker()), Outcome::picked("最新のお気に入り写真"));
    setHandler(false);
    EXPECT_EQ(handOff(showPicker()), Outcome::failed("アプリが写真を受け付けませんでした。"));
}

}  // namespace
