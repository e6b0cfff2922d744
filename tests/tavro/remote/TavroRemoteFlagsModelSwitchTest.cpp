#include <gtest/gtest.h>

#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;
using Family = TavroModelSwitch::Family;

namespace {

class TavroModelSwitchBox : public ::testing::Test {
protected:
    void SetUp() override {
        TavroModelSwitch::reset();
        TavroPacks::reset();
        TavroAnalytics::reset();
        TavroAnalytics::setSink([this](const std::string& name, const TavroAnalytics::Parameters& parameters) {
            if (name != "tavro_model_switch") return;
            families.push_back(std::get<std::string>(parameters.at("family")));
        });
    }
    void TearDown() override {
        TavroModelSwitch::reset();
        TavroPacks::reset();
        TavroAnalytics::reset();
    }
    std::vector<std::string> families;
};

}  // namespace

TEST(TavroModelSwitchCombine, OffFromEitherSourceWins) {
    struct Case {
        std::optional<std::string> pack;
        std::optional<std::string> remote;
        Family expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, std::nullopt, Family::qwen}, {"qwen", "OFF ", Family::off},
        {std::nullopt, "other", Family::qwen},      {" Off\t", std::nullopt, Family::off},
        // Only blanks are trimmed: a line break makes the value no family at all.
        {std::nullopt, "off\n", Family::qwen},      {"\u3000off\u00a0", std::nullopt, Family::off},
        {"off", "qwen", Family::off},               {"QWEN", "", Family::qwen},
        {"llama", "banana", Family::qwen},          {"", "off", Family::off},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TavroModelSwitch::combine(c.pack, c.remote), c.expected)
            << c.pack.value_or("<none>") << " / " << c.remote.value_or("<none>");
    }
    EXPECT_EQ(TavroModelSwitch::name(Family::qwen), "qwen");
    EXPECT_EQ(TavroModelSwitch::name(Family::off), "off");
    EXPECT_EQ(TavroModelSwitch::allCases, (std::array{Family::qwen, Family::off}));
}

TEST_F(TavroModelSwitchBox, FirstAnnouncementOnlyInformsObservers) {
    std::vector<Family> seen;
    TavroModelSwitch::observe([&](Family family) { seen.push_back(family); });

    TavroModelSwitch::changed();
    EXPECT_EQ(seen, std::vector{Family::qwen});
    EXPECT_TRUE(families.empty());

    TavroModelSwitch::changed();
    EXPECT_EQ(seen, std::vector{Family::qwen}) << "the same family again does nothing";

    TavroModelSwitch::setRemote(" off ");
    EXPECT_EQ(TavroModelSwitch::remoteValue(), " off ");
    EXPECT_EQ(TavroModelSwitch::current(), Family::off);
    EXPECT_EQ(seen, (std::vector{Family::qwen, Family::off}));
    EXPECT_EQ(families, std::vector<std::string>{"off"});

    TavroModelSwitch::setRemote(std::nullopt);
    EXPECT_EQ(families, (std::vector<std::string>{"off", "qwen"}));
}

TEST_F(TavroModelSwitchBox, PackAndRemoteCombine) {
    TavroPack pack;
    pack.version = 1;
    pack.localModel = "qwen";
    TavroPacks::setCurrent(pack);
    EXPECT_EQ(TavroModelSwitch::current(), Family::qwen);
    TavroModelSwitch::setRemote("OFF ");
    EXPECT_EQ(TavroModelSwitch::current(), Family::off);
    TavroModelSwitch::setRemote("qwen");
    pack.localModel = "off";
    TavroPacks::setCurrent(pack);
    EXPECT_EQ(TavroModelSwitch::current(), Family::off);
}

TEST_F(TavroModelSwitchBox, ObserversMayCallBackIn) {
    int calls = 0;
    TavroModelSwitch::observe([&](Family) {
        ++calls;
        // Everything the switch offers is usable from inside an observer.
        (void)TavroModelSwitch::current();
        (void)TavroModelSwitch::remoteValue();
        if (calls == 1) {
            TavroModelSwitch::observe([&](Family) { ++calls; });
            TavroModelSwitch::setRemote("off");
        }
    });
    TavroModelSwitch::changed();
    // First announcement (qwen) reaches the first observer, which switches to off: that second
    // announcement reaches both observers.
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(TavroModelSwitch::current(), Family::off);
}
