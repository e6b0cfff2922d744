// The kind each model reports, and the two places that read it: the analytics engine word and the
// remote switch that hides the library on devices without a native model.
#include <gtest/gtest.h>

#include "DownloadTestSupport.h"
#include "tavro/models/AppleIntelligenceModel.h"
#include "tavro/models/TextTavroModel.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroRemoteFlags.h"

using namespace tavro;

namespace {

std::shared_ptr<TextTavroModel> textModel(bool available) {
    return std::make_shared<TextTavroModel>(
        "server", TavroContextBudget::large, [available] { return available; },
        [](std::string, std::string) -> rt::Task<std::optional<std::string>> { co_return std::nullopt; });
}

TEST(TavroModelKind, AnalyticsNamesTheEngineByItsKind) {
    EXPECT_EQ(TavroAnalytics::engine(nullptr), "rules");
    EXPECT_EQ(TavroAnalytics::engine(std::make_shared<AppleIntelligenceModel>().get()), "apple");
    EXPECT_EQ(TavroAnalytics::engine(textModel(true).get()), "model");
    EXPECT_EQ(TavroAnalytics::engine(std::make_shared<hostmodel::HostModel>().get()), "local");
}

class TavroModelKindFlags : public ::testing::Test {
protected:
    void SetUp() override {
        TavroRemoteFlags::reset();
        TavroAnalytics::setSink(nullptr);
    }
    void TearDown() override {
        TavroRemoteFlags::reset();
        TavroAnalytics::reset();
    }
};

TEST_F(TavroModelKindFlags, ADownloadedLocalModelIsNotANativeModel) {
    using Models = std::vector<std::shared_ptr<TavroModel>>;
    const auto local = std::make_shared<hostmodel::HostModel>();
    local->downloaded = local->available = local->supported = true;
    TavroRemoteFlags::set(false, true);

    EXPECT_TRUE(TavroRemoteFlags::isHidden(Models{local}));
    EXPECT_TRUE(TavroRemoteFlags::isHidden(Models{local, textModel(false)}));
    EXPECT_FALSE(TavroRemoteFlags::isHidden(Models{local, textModel(true)}));

    TavroRemoteFlags::set(false, false);
    EXPECT_FALSE(TavroRemoteFlags::isHidden(Models{local}));
}

}  // namespace
