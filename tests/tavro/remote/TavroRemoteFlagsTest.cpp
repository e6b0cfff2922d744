#include <gtest/gtest.h>

#include "tavro/core/TavroModel.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroRemoteFlags.h"

using namespace tavro;

namespace {

class FixedModel : public TavroModel {
public:
    explicit FixedModel(bool supported) : supported_(supported) {}
    std::string name() const override { return "fixed"; }
    bool isAvailable() const override { return false; }
    bool isSupportedOnDevice() const override { return supported_; }
    rt::Task<std::optional<TavroAction>> decide(std::string, std::string) override { co_return std::nullopt; }

private:
    bool supported_;
};

class TavroRemoteFlagsBox : public ::testing::Test {
protected:
    void SetUp() override {
        TavroRemoteFlags::reset();
        TavroAnalytics::reset();
        TavroAnalytics::setSink([this](const std::string& name, const TavroAnalytics::Parameters& parameters) {
            if (name == "tavro_remote_flags") events.push_back(parameters);
        });
    }
    void TearDown() override {
        TavroRemoteFlags::reset();
        TavroAnalytics::reset();
    }
    std::vector<TavroAnalytics::Parameters> events;
};

}  // namespace

TEST(TavroRemoteFlagsEnabled, OnlyTheOffWordsSwitchOff) {
    struct Case {
        std::optional<std::string> value;
        bool enabled;
    };
    const std::vector<Case> cases = {
        {std::nullopt, true}, {"", true},      {" \t ", true}, {"yes", true},  {"true", true},  {"maybe", true},
        {" FALSE ", false},   {"0", false},    {"No", false},   {"off", false}, {"\toff\u3000", false}, {"00", true},
        // Only blanks are trimmed: a value with a line break is not an off word, and a lone line
        // break is not empty.
        {"false\n", true},    {"OFF\n", true}, {"\n", true},

    };
    for (const auto& c : cases) {
        EXPECT_EQ(TavroRemoteFlags::enabled(c.value), c.enabled) << "'" << c.value.value_or("<absent>") << "'";
    }
}

TEST_F(TavroRemoteFlagsBox, SetReportsOnlyChanges) {
    int calls = 0;
    TavroRemoteFlags::observe([&] { ++calls; });

    TavroRemoteFlags::set(false, false);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(events.empty());

    TavroRemoteFlags::set(true, false);
    EXPECT_TRUE(TavroRemoteFlags::hidden());
    EXPECT_FALSE(TavroRemoteFlags::hiddenWithoutNativeModel());
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].at("hidden"), TavroAnalytics::Parameter(std::int64_t(1)));
    EXPECT_EQ(events[0].at("hidden_without_native"), TavroAnalytics::Parameter(std::int64_t(0)));

    TavroRemoteFlags::set(true, false);
    EXPECT_EQ(calls, 1);

    TavroRemoteFlags::set(true, true);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(TavroRemoteFlagsBox, ObserversMayCallBackIn) {
    std::vector<bool> seen;
    TavroRemoteFlags::observe([&] {
        seen.push_back(TavroRemoteFlags::hidden());
        // Turning the flag back from inside an observer must neither deadlock nor loop forever.
        if (TavroRemoteFlags::hidden()) TavroRemoteFlags::set(false, TavroRemoteFlags::hiddenWithoutNativeModel());
    });
    TavroRemoteFlags::set(true, false);
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
    EXPECT_FALSE(TavroRemoteFlags::hidden());
}

TEST_F(TavroRemoteFlagsBox, HiddenDependsOnFlagsAndNativeModels) {
    const auto supported = std::make_shared<FixedModel>(true);
    const auto unsupported = std::make_shared<FixedModel>(false);
    using Models = std::vector<std::shared_ptr<TavroModel>>;

    EXPECT_FALSE(TavroRemoteFlags::isHidden({}));

    TavroRemoteFlags::set(false, true);
    EXPECT_TRUE(TavroRemoteFlags::isHidden({}));
    EXPECT_TRUE(TavroRemoteFlags::isHidden(Models{unsupported}));
    EXPECT_FALSE(TavroRemoteFlags::isHidden(Models{supported}));
    EXPECT_FALSE(TavroRemoteFlags::isHidden(Models{unsupported, supported})) << "any native model un-hides";
    EXPECT_TRUE(TavroRemoteFlags::isHidden(Models{nullptr, unsupported}));

    TavroRemoteFlags::set(true, true);
    EXPECT_TRUE(TavroRemoteFlags::isHidden(Models{supported}));
}
