#include <gtest/gtest.h>

#include <chrono>

#include "tavro/models/AppleIntelligenceModel.h"
#include "tavro/models/TextTavroModel.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;

namespace {

struct Event {
    std::string name;
    TavroAnalytics::Parameters parameters;
};

class TavroAnalyticsLog : public ::testing::Test {
protected:
    void SetUp() override {
        TavroAnalytics::reset();
        TavroPacks::reset();
        TavroAnalytics::setSink([this](const std::string& name, const TavroAnalytics::Parameters& parameters) {
            events.push_back({name, parameters});
        });
    }
    void TearDown() override {
        TavroAnalytics::reset();
        TavroPacks::reset();
    }

    const TavroAnalytics::Parameters& only() {
        EXPECT_EQ(events.size(), 1u);
        static const TavroAnalytics::Parameters none;
        return events.empty() ? none : events.back().parameters;
    }

    std::vector<Event> events;
};

using P = TavroAnalytics::Parameter;

}  // namespace

TEST_F(TavroAnalyticsLog, NamesAndKeysAreCutToFortyCharacters) {
    const std::string fifty(50, 'k');
    TavroAnalytics::log(std::string(45, 'e'), {{fifty, 1}});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "tavro_" + std::string(34, 'e'));
    EXPECT_EQ(events[0].parameters.count(std::string(40, 'k')), 1u);
    EXPECT_EQ(events[0].parameters.count(fifty), 0u);
}

TEST_F(TavroAnalyticsLog, CutsCountCharactersNotBytes) {
    // Forty family emoji (one character each, many bytes) as a key; 120 Japanese characters as a value.
    std::string key;
    for (int i = 0; i < 45; ++i) key += "👨‍👩‍👧";
    std::string value;
    for (int i = 0; i < 120; ++i) value += "設";
    TavroAnalytics::log("x", {{key, value}});
    const auto& parameters = only();
    std::string cutKey;
    for (int i = 0; i < 40; ++i) cutKey += "👨‍👩‍👧";
    std::string cutValue;
    for (int i = 0; i < 100; ++i) cutValue += "設";
    ASSERT_EQ(parameters.count(cutKey), 1u);
    EXPECT_EQ(parameters.at(cutKey), P(cutValue));
}

TEST_F(TavroAnalyticsLog, ValuesBecomeNumbersOrShortTexts) {
    const auto date = std::chrono::system_clock::time_point(std::chrono::seconds(1700000000));
    TavroAnalytics::log("run_end", {
                                        {"yes", true},
                                        {"no", false},
                                        {"int", 7},
                                        {"wide", std::int64_t(1) << 40},
                                        {"size", std::size_t(12)},
                                        {"double", 2.5},
                                        {"text", "rules"},
                                        {"absent", std::nullopt},
                                        {"maybe", std::optional<int>()},
                                        {"some", std::optional<int>(3)},
                                        {"array", nlohmann::json::array({1, "two"})},
                                        {"long", std::string(150, 'x')},
                                        {"date", date},
                                        {"jsonNumber", nlohmann::json(5)},
                                        {"jsonText", nlohmann::json("plain")},
                                        {"jsonNull", nlohmann::json()},
                                    });
    const auto& p = only();
    EXPECT_EQ(p.at("yes"), P(std::int64_t(1)));
    EXPECT_EQ(p.at("no"), P(std::int64_t(0)));
    EXPECT_EQ(p.at("int"), P(std::int64_t(7)));
    EXPECT_EQ(p.at("wide"), P(std::int64_t(1) << 40));
    EXPECT_EQ(p.at("size"), P(std::int64_t(12)));
    EXPECT_EQ(p.at("double"), P(2.5));
    EXPECT_EQ(p.at("text"), P(std::string("rules")));
    EXPECT_EQ(p.count("absent"), 0u);
    EXPECT_EQ(p.count("maybe"), 0u);
    EXPECT_EQ(p.at("some"), P(std::int64_t(3)));
    EXPECT_EQ(p.at("array"), P(std::string(R"([1,"two"])")));
    EXPECT_EQ(p.at("long"), P(std::string(100, 'x')));
    EXPECT_EQ(p.at("date"), P(std::string("2023-11-14 22:13:20 +0000")));
    EXPECT_EQ(p.at("jsonNumber"), P(std::int64_t(5)));
    EXPECT_EQ(p.at("jsonText"), P(std::string("plain")));
    EXPECT_EQ(p.count("jsonNull"), 0u);
}

TEST_F(TavroAnalyticsLog, FixedFieldsAreAdded) {
    TavroAnalytics::log("approval", {{"approved", true}, {"tavro_sdk", "mine"}});
    EXPECT_EQ(only().at("tavro_sdk"), P(std::string("1.0.0")));
    EXPECT_EQ(only().count("tavro_pack"), 0u);

    TavroPack pack;
    pack.version = 12;
    TavroPacks::reset();
    TavroPacks::setCurrent(pack);
    events.clear();
    TavroAnalytics::log("approval", {{"approved", false}});
    // Setting the pack may itself have announced a model family; only the last event matters here.
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().parameters.at("tavro_pack"), P(std::int64_t(12)));
}

TEST_F(TavroAnalyticsLog, DisabledOrWithoutSinkNothingIsSent) {
    TavroAnalytics::setEnabled(false);
    EXPECT_FALSE(TavroAnalytics::enabled());
    TavroAnalytics::log("run_start", {{"auto", true}});
    EXPECT_TRUE(events.empty());

    TavroAnalytics::setEnabled(true);
    auto kept = TavroAnalytics::sink();
    TavroAnalytics::setSink(nullptr);
    TavroAnalytics::log("run_start", {{"auto", true}});
    TavroAnalytics::setSink(kept);
    EXPECT_TRUE(events.empty());

    TavroAnalytics::log("run_start", {{"auto", true}});
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(TavroAnalyticsLog, ASinkMayCallBackIn) {
    int depth = 0;
    TavroAnalytics::setSink([&](const std::string& name, const TavroAnalytics::Parameters&) {
        events.push_back({name, {}});
        if (depth++ == 0) {
            EXPECT_TRUE(TavroAnalytics::enabled());
            TavroAnalytics::log("nested");
        }
    });
    TavroAnalytics::log("outer");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "tavro_outer");
    EXPECT_EQ(events[1].name, "tavro_nested");
}

TEST(TavroAnalyticsReason, FirstMatchingRowWins) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"Out of memory on GPU", "low_memory"},  {"file damaged", "bad_file"},   {"Missing weights", "bad_file"},
        {"wrote 0 bytes", "bad_file"},            {"App went to BACKGROUND", "background"},
        {"Download Cancelled", "stopped"},         {"stopped by user", "stopped"}, {"Metal device lost", "gpu"},
        {"mlx failure", "gpu"},                    {"", "other"},                  {"timeout", "other"},
    };
    for (const auto& c : cases) EXPECT_EQ(TavroAnalytics::reason(c.text), c.reason) << c.text;
}

