#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/remote/TavroRemoteFlags.h"

using namespace tavro;

// Analytics, the remote flags, the model switch and the pack store are used from several threads
// at once (the remote-config completion arrives on the host library's thread): nothing is lost,
// nothing deadlocks, and observers see consistent values.
TEST(TavroProcessBoxes, SeveralThreadsAtOnce) {
    TavroAnalytics::reset();
    TavroRemoteFlags::reset();
    TavroModelSwitch::reset();
    TavroPacks::reset();

    std::atomic<int> logged{0};
    std::atomic<int> flagCalls{0};
    std::atomic<int> familyCalls{0};
    TavroAnalytics::setSink([&](const std::string& name, const TavroAnalytics::Parameters& parameters) {
        if (name == "tavro_load") {
            EXPECT_EQ(parameters.at("tavro_sdk"), TavroAnalytics::Parameter(std::string("1.0.0")));
            ++logged;
        }
    });
    TavroRemoteFlags::observe([&] {
        ++flagCalls;
        (void)TavroRemoteFlags::isHidden({});
    });
    TavroModelSwitch::observe([&](TavroModelSwitch::Family) {
        ++familyCalls;
        (void)TavroModelSwitch::current();
    });

    constexpr int rounds = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < rounds; ++i) TavroAnalytics::log("load", {{"i", i}, {"text", "value"}});
        });
    }
    threads.emplace_back([] {
        for (int i = 0; i < rounds; ++i) TavroRemoteFlags::set(i % 2 == 0, i % 3 == 0);
    });
    threads.emplace_back([] {
        for (int i = 0; i < rounds; ++i) TavroModelSwitch::setRemote(i % 2 ? "off" : "qwen");
    });
    threads.emplace_back([] {
        for (int i = 0; i < rounds; ++i) {
            TavroPack pack;
            pack.version = i;
            if (i % 2) TavroPacks::setCurrent(pack);
            else TavroPacks::clear();
        }
    });
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(logged.load(), 3 * rounds);
    EXPECT_GT(flagCalls.load(), 0);
    EXPECT_GT(familyCalls.load(), 0);

    TavroAnalytics::reset();
    TavroRemoteFlags::reset();
    TavroModelSwitch::reset();
    TavroPacks::reset();
}
