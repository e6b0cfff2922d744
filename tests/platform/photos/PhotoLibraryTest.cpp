#include <type_traits>
#include <fstream>
#include <iterator>

#include "PhotosTestSupport.h"
#include "platform/photos/Predicate.h"
#include "platform/photos/UniformType.h"

using namespace photos;

// A library is only made by shared(), so that the weak references its prompts keep always work.
static_assert(!std::is_default_constructible_v<PhotoLibrary>);
static_assert(!std::is_default_constructible_v<PhotoLibrary::PassKey>);
using phototest::PhotosTest;

namespace {

std::vector<std::string> names(const FetchResult& r) {
    std::vector<std::string> out;
    for (const auto& a : r) out.push_back(AssetResource::assetResources(*a).front()->originalFilename());
    return out;
}

FetchOptions newestFirst(std::optional<Predicate> predicate = std::nullopt, int limit = 0) {
    FetchOptions o;
    o.predicate = std::move(predicate);
    o.sortDescriptors = {{"creationDate", false}};
    o.fetchLimit = limit;
    return o;
}

// ---- predicates ----

struct PredicateCase {
    const char* format;
    std::vector<std::int64_t> args;
    bool favorite;
    std::uint32_t subtypes;
    bool passes;
};

void PrintTo(const PredicateCase& c, std::ostream* os) { *os << '"' << c.format << '"'; }

class PhotoPredicates : public ::testing::TestWithParam<PredicateCase> {};

TEST_P(PhotoPredicates, EvaluateAgainstAssetKeys) {
    const auto& c = GetParam();
    const auto p = Predicate::make(c.format, c.args);
    ASSERT_TRUE(p.has_value()) << c.format;
    const auto lookup = [&c](std::string_view key) -> std::optional<std::int64_t> {
        if (key == "favorite") return c.favorite ? 1 : 0;
        if (key == "mediaSubtypes") return c.subtypes;
        return std::nullopt;
    };
    EXPECT_EQ(p->evaluate(lookup), c.passes) << c.format;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PhotoPredicates,
    ::testing::Values(PredicateCase{"favorite == YES", {}, true, 0, true},
                      PredicateCase{"favorite == YES", {}, false, 0, false},
                      PredicateCase{"favorite = NO", {}, false, 0, true},
                      PredicateCase{"NOT ((mediaSubtypes & %d) != 0)", {4}, false, 4, false},
                      PredicateCase{"NOT ((mediaSubtypes & %d) != 0)", {4}, false, 1 | 8, true},
                      PredicateCase{"NOT ((mediaSubtypes & %d) != 0)", {4}, false, 4 | 8, false},
                      PredicateCase{"favorite == YES AND NOT ((mediaSubtypes & %d) != 0)", {4}, true, 0, true},
                      PredicateCase{"favorite == YES || mediaSubtypes >= 4", {}, false, 8, true},
                      PredicateCase{"!(favorite == TRUE) && mediaSubtypes <> 0", {}, false, 2, true},
                      PredicateCase{"missingKey == 1 OR favorite == YES", {}, true, 0, false}));

TEST(PhotoPredicateFormats, MalformedFormatsAreRefused) {
    for (const char* f : {"favorite ==", "(favorite == YES", "favorite == YES)", "favorite == %d", "favorite ~ 1",
                          "AND", "", "favorite == %s"}) {
        EXPECT_FALSE(Predicate::make(f).has_value()) << f;
    }
    std::string deep(5000, '(');
    EXPECT_FALSE(Predicate::make(deep + "1" + std::string(5000, ')')).has_value());
}

// ---- fetching ----

TEST_F(PhotosTest, FetchSeesNothingUntilAccessIsGranted) {
    addPhoto("a.jpg", 10);
    EXPECT_EQ(Asset::fetchAssets(MediaType::image).count(), 0u);
    library->setAuthorizationStatus(AccessLevel::readWrite, AuthorizationStatus::denied);
    EXPECT_EQ(Asset::fetchAssets(MediaType::image).count(), 0u);
    library->setAuthorizationStatus(AccessLevel::readWrite, AuthorizationStatus::authorized);
    EXPECT_EQ(Asset::fetchAssets(MediaType::image).count(), 1u);
}

TEST_F(PhotosTest, LimitedAccessSeesOnlyTheSelectedPhotos) {
    addPhoto("a.jpg", 10);
    const auto b = addPhoto("b.jpg", 20);
    library->setAuthorizationStatus(AccessLevel::readWrite, AuthorizationStatus::limited);
    library->setLimitedSelection({b->localIdentifier()});
    EXPECT_EQ(names(Asset::fetchAssets(MediaType::image)), std::vector<std::string>{"b.jpg"});
}

TEST_F(PhotosTest, FetchFiltersSortsAndLimits) {
    library->setAuthorizationStatus(AccessLevel::readWrite, AuthorizationStatus::authorized);
    addPhoto("old-fav.jpg", 300, true);
    addPhoto("newest.png", 1, false, true);
    addPhoto("fav.jpg", 100, true);
    addPhoto("plain.jpg", 50);
    NewAsset video;
    video.mediaType = MediaType::video;
    video.creationDate = Date(std::chrono::hours(480001));
    library->add(video);
    NewAsset hidden;
    hidden.hidden = true;
    hidden.creationDate = Date(std::chrono::hours(480001));
    hidden.resources.push_back({ResourceType::photo, "hidden.jpg", "public.jpeg", {}, false});
    library->add(hidden);

    EXPECT_EQ(names(Asset::fetchAssets(MediaType::image, newestFirst())),
              (std::vector<std::string>{"newest.png", "plain.jpg", "fav.jpg", "old-fav.jpg"}));
    EXPECT_EQ(names(Asset::fetchAssets(MediaType::image, newestFirst(Predicate::make("favorite == YES"), 1))),
              std::vector<std::string>{"fav.jpg"});
    EXPECT_EQ(names(Asset::fetchAssets(MediaType::image,
                                       newestFirst(Predicate::make("NOT ((mediaSubtypes & %d) != 0)", {4}), 1))),
              std::vector<std::string>{"plain.jpg"});
    EXPECT_EQ(Asset::fetchAssets(MediaType::video).count(), 1u);
    // A key the assets do not have gives nothing rather than everything.
    EXPECT_EQ(Asset::fetchAssets(MediaType::image, newestFirst(Predicate::make("colour == 1"))).count(), 0u);
}

// ---- the access request ----

TEST_F(PhotosTest, RequestShowsThePromptAndTheAnswerBecomesTheStatus) {
    std::vector<AuthorizationStatus> answers;
    PhotoLibrary::requestAuthorization(AccessLevel::readWrite, [&](AuthorizationStatus s) { answers.push_back(s); });
    ASSERT_NE(app->systemPrompt(), nullptr);
    EXPECT_EQ(app->applicationState(), ui::Application::State::inactive);
    actor->runUntilIdle();
    EXPECT_TRUE(answers.empty());

    ASSERT_TRUE(app->answerSystemPrompt(PhotoLibrary::limitAccessButton));
    actor->runUntilIdle();
    EXPECT_EQ(answers, std::vector<AuthorizationStatus>{AuthorizationStatus::limited});
    EXPECT_EQ(PhotoLibrary::authorizationStatus(AccessLevel::readWrite), AuthorizationStatus::limited);
    EXPECT_EQ(PhotoLibrary::authorizationStatus(AccessLevel::addOnly), AuthorizationStatus::authorized);

    // Asking again answers at once, later, without a prompt.
    PhotoLibrary::requestAuthorization(AccessLevel::readWrite, [&](AuthorizationStatus s) { answers.push_back(s); });
    EXPECT_EQ(app->systemPrompt(), nullptr);
    EXPECT_EQ(answers.size(), 1u);
    actor->runUntilIdle();
    EXPECT_EQ(answers.size(), 2u);
}

TEST_F(PhotosTest, DeclinedRequestIsDenied) {
    std::optional<AuthorizationStatus> answer;
    PhotoLibrary::requestAuthorization(AccessLevel::readWrite, [&](AuthorizationStatus s) { answer = s; });
    ASSERT_TRUE(app->answerSystemPrompt(PhotoLibrary::dontAllowButton));
    actor->runUntilIdle();
    EXPECT_EQ(answer, AuthorizationStatus::denied);
}

// ---- writing resources ----

TEST_F(PhotosTest, WritesAResourceToANewFileOnce) {
    const auto asset = addPhoto("IMG_0001.JPG", 5);
    const auto resource = AssetResource::assetResources(*asset).front();
    const auto file = fnd::AppDirectories::temporary() / "out.jpg";
    std::vector<std::optional<Error>> results;
    auto record = [&](std::optional<Error> e) { results.push_back(std::move(e)); };
    AssetResourceManager::defaultManager().writeData(resource, file, {true}, record);
    EXPECT_TRUE(results.empty());  // the completion comes later
    actor->runUntilIdle();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].has_value());
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "IMG_0001.JPG");

    AssetResourceManager::defaultManager().writeData(resource, file, {true}, record);
    AssetResourceManager::defaultManager().writeData(resource, fnd::AppDirectories::temporary() / "no" / "x.jpg",
                                                     {true}, record);
    actor->runUntilIdle();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[1].has_value());
    EXPECT_TRUE(results[2].has_value());
}

TEST_F(PhotosTest, CloudOnlyResourcesNeedNetworkAccess) {
    NewAsset a;
    a.resources.push_back({ResourceType::photo, "cloud.heic", "public.heic", std::vector<std::uint8_t>{1, 2}, true});
    const auto resource = AssetResource::assetResources(*library->add(a)).front();
    std::vector<std::optional<Error>> results;
    auto record = [&](std::optional<Error> e) { results.push_back(std::move(e)); };
    const auto dir = fnd::AppDirectories::temporary();
    AssetResourceManager::defaultManager().writeData(resource, dir / "1.heic", {false}, record);
    library->setNetworkAvailable(false);
    AssetResourceManager::defaultManager().writeData(resource, dir / "2.heic", {true}, record);
    actor->runUntilIdle();
    library->setNetworkAvailable(true);
    AssetResourceManager::defaultManager().writeData(resource, dir / "3.heic", {true}, record);
    actor->runUntilIdle();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0]->code, ErrorCode::networkAccessRequired);
    EXPECT_EQ(results[1]->code, ErrorCode::networkError);
    EXPECT_FALSE(results[2].has_value());
    EXPECT_FALSE(std::filesystem::exists(dir / "1.heic"));
}

TEST_F(PhotosTest, UnavailableDataFailsToWrite) {
    NewAsset a;
    a.resources.push_back({ResourceType::photo, "gone.jpg", "public.jpeg", std::nullopt, false});
    const auto resource = AssetResource::assetResources(*library->add(a)).front();
    std::optional<std::optional<Error>> result;
    AssetResourceManager::defaultManager().writeData(resource, fnd::AppDirectories::temporary() / "gone.jpg", {true},
                                                     [&](std::optional<Error> e) { result = std::move(e); });
    actor->runUntilIdle();
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->has_value());
}

// ---- uniform types ----

TEST(UniformTypes, KnownIdentifiersOnly) {
    const auto jpeg = UTType::fromIdentifier("public.jpeg");
    ASSERT_TRUE(jpeg.has_value());
    EXPECT_EQ(jpeg->preferredFilenameExtension(), "jpeg");
    EXPECT_EQ(jpeg->preferredMIMEType(), "image/jpeg");
    EXPECT_TRUE(jpeg->isImage());
    EXPECT_TRUE(UTType::fromIdentifier("public.heic")->isImage());
    EXPECT_FALSE(UTType::fromIdentifier("com.apple.quicktime-movie")->isImage());
    EXPECT_FALSE(UTType::fromIdentifier("com.example.unknown").has_value());
    EXPECT_FALSE(UTType::fromIdentifier("").has_value());
    EXPECT_EQ(UTType::fromFilenameExtension("JPG")->identifier(), "public.jpeg");
}

}  // namespace
