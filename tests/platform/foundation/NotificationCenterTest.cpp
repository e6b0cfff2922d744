#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/runtime/MainActor.h"

using fnd::Notification;
using fnd::NotificationCenter;
using rt::MainActor;

namespace {

struct CenterTest : ::testing::Test {
    std::shared_ptr<MainActor> actor = MainActor::create(rt::ClockKind::virtual_);
    MainActor::Scope scope{actor};
    std::shared_ptr<NotificationCenter> center = NotificationCenter::create();
};

}  // namespace

TEST_F(CenterTest, DeliversOnTheMainActorAfterPosting) {
    std::vector<std::string> got;
    auto token = center->observe("TavroSDK.visibilityChanged", [&](const Notification& n) {
        EXPECT_TRUE(actor->isActorThread());
        got.push_back(n.name + ":" + n.userInfo.value("hidden", std::string("?")));
    });
    center->post("TavroSDK.visibilityChanged", nullptr, {{"hidden", "yes"}});
    center->post("other");
    EXPECT_TRUE(got.empty());
    actor->runUntilIdle();
    EXPECT_EQ(got, std::vector<std::string>{"TavroSDK.visibilityChanged:yes"});
}

TEST_F(CenterTest, PostFromAnotherThreadArrivesOnTheActor) {
    int calls = 0;
    auto token = center->observe("ping", [&](const Notification&) {
        EXPECT_TRUE(actor->isActorThread());
        ++calls;
    });
    std::thread([c = center] { c->post("ping"); }).join();
    actor->runUntilIdle();
    EXPECT_EQ(calls, 1);
}

TEST_F(CenterTest, RemovingTheTokenStopsEvenQueuedDeliveries) {
    int calls = 0;
    auto token = center->observe("ping", [&](const Notification&) { ++calls; });
    center->post("ping");
    token.cancel();
    actor->runUntilIdle();
    center->post("ping");
    actor->runUntilIdle();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(center->observerCount(), 0u);
}

TEST_F(CenterTest, ObjectFilterOnlyHearsThatSender) {
    auto scene = std::make_shared<int>(1);
    auto other = std::make_shared<int>(2);
    int filtered = 0, all = 0;
    auto a = center->observe("sceneDidActivate", [&](const Notification& n) {
        EXPECT_EQ(n.object, scene);
        ++filtered;
    }, scene);
    auto b = center->observe("sceneDidActivate", [&](const Notification&) { ++all; });
    center->post("sceneDidActivate", scene);
    center->post("sceneDidActivate", other);
    actor->runUntilIdle();
    EXPECT_EQ(filtered, 1);
    EXPECT_EQ(all, 2);
}

TEST_F(CenterTest, ObserverMayRemoveItselfAndOthersWhileDelivering) {
    fnd::ObserverToken first, second;
    int calls = 0;
    first = center->observe("x", [&](const Notification&) {
        ++calls;
        first.cancel();
        second.cancel();
    });
    second = center->observe("x", [&](const Notification&) { ++calls; });
    center->post("x");
    center->post("x");
    actor->runUntilIdle();
    EXPECT_EQ(calls, 1);
}

TEST_F(CenterTest, DefaultCenterIsSharedUntilReset) {
    auto a = NotificationCenter::defaultCenter();
    EXPECT_EQ(a, NotificationCenter::defaultCenter());
    NotificationCenter::resetDefault();
    EXPECT_NE(a, NotificationCenter::defaultCenter());
}
