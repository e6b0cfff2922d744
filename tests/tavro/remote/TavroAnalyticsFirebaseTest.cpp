#include <gtest/gtest.h>

#include "platform/objc/Runtime.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;

namespace {

class TavroAnalyticsFirebase : public ::testing::Test {
protected:
    void SetUp() override {
        objc::Runtime::reset();
        TavroAnalytics::reset();
        TavroPacks::reset();
    }
    void TearDown() override {
        objc::Runtime::reset();
        TavroAnalytics::reset();
    }

    // Registers a fake analytics class that records what it is sent.
    void registerAnalytics(bool withSelector = true) {
        auto cls = objc::Object::make("FIRAnalytics");
        if (withSelector) {
            cls->method("logEventWithName:parameters:", [this](objc::Object&, const objc::Args& args) {
                names.push_back(args.at(0).string().value_or("<not text>"));
                dictionaries.push_back(args.at(1).json().value_or(nullptr));
                return objc::Value();
            });
        }
        cls->method("otherSelector", [this](objc::Object&, const objc::Args&) {
            ++otherCalls;
            return objc::Value();
        });
        objc::Runtime::registerClass(cls);
    }

    std::vector<std::string> names;
    std::vector<nlohmann::json> dictionaries;
    int otherCalls = 0;
};

}  // namespace

TEST_F(TavroAnalyticsFirebase, TheDefaultSinkReachesTheHostsAnalyticsClass) {
    registerAnalytics();
    TavroAnalytics::log("run_start", {{"engine", "rules"}, {"repeat", false}, {"auto", true}, {"ratio", 0.5}});
    ASSERT_EQ(names, std::vector<std::string>{"tavro_run_start"});
    EXPECT_EQ(dictionaries[0], (nlohmann::json{{"engine", "rules"}, {"repeat", 0}, {"auto", 1}, {"ratio", 0.5},
                                               {"tavro_sdk", "1.0.0"}}));
    EXPECT_TRUE(dictionaries[0].at("auto").is_number_integer());
}

TEST_F(TavroAnalyticsFirebase, NothingIsSentWithoutTheClassOrItsMethod) {
    TavroAnalytics::log("run_start", {{"auto", true}});  // no class at all: silently dropped
    registerAnalytics(false);
    TavroAnalytics::log("run_start", {{"auto", true}});
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(otherCalls, 0);
}

TEST_F(TavroAnalyticsFirebase, DisabledDropsEventsBeforeTheHost) {
    registerAnalytics();
    TavroAnalytics::setEnabled(false);
    TavroAnalytics::log("approval", {{"approved", true}});
    EXPECT_TRUE(names.empty());
    TavroAnalytics::setEnabled(true);
    TavroAnalytics::log("approval", {{"approved", true}});
    EXPECT_EQ(names.size(), 1u);
}
