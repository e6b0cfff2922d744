#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Published.h"

using fnd::ObserverToken;
using fnd::Published;

TEST(Published, WillChangeSeesNewValueBeforeItIsStored) {
    Published<std::string> status{"idle"};
    std::vector<std::string> seen;
    auto token = status.willChange([&](const std::string& next) { seen.push_back(status.value() + "->" + next); });
    status.set("running");
    status.set("running");
    EXPECT_EQ(status.value(), "running");
    EXPECT_EQ(seen, (std::vector<std::string>{"idle->running", "running->running"}));
}

TEST(Published, DidSetRunsAfterStoreAndAfterWillChange) {
    Published<int> steps;
    std::vector<std::string> order;
    auto a = steps.didSet([&](const int& v) { order.push_back("did " + std::to_string(v) + "/" + std::to_string(*steps)); });
    auto b = steps.willChange([&](const int& v) { order.push_back("will " + std::to_string(v) + "/" + std::to_string(*steps)); });
    steps.set(3);
    EXPECT_EQ(order, (std::vector<std::string>{"will 3/0", "did 3/3"}));
}

TEST(Published, DestroyedOrCancelledTokenStopsDelivery) {
    Published<int> p;
    int calls = 0;
    {
        auto token = p.willChange([&](const int&) { ++calls; });
        p.set(1);
    }
    p.set(2);
    auto token = p.willChange([&](const int&) { ++calls; });
    token.cancel();
    p.set(3);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(token.active());
}

TEST(Published, ObserverCancelledDuringNotificationIsNotCalledAfterwards) {
    Published<int> p;
    std::vector<std::string> calls;
    ObserverToken second;
    auto first = p.willChange([&](const int&) {
        calls.push_back("first");
        second.cancel();
    });
    second = p.willChange([&](const int&) { calls.push_back("second"); });
    p.set(1);
    p.set(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "first"}));
}

TEST(Published, TokenMayOutliveTheProperty) {
    ObserverToken token;
    {
        Published<int> p;
        token = p.didSet([](const int&) {});
    }
    EXPECT_TRUE(token.active());
    token.cancel();
    EXPECT_FALSE(token.active());
}
