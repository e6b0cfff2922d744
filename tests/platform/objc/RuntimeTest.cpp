#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/objc/Runtime.h"

using objc::Args;
using objc::Object;
using objc::ObjectPtr;
using objc::Runtime;
using objc::Value;

namespace {

struct Registry : ::testing::Test {
    ~Registry() override { Runtime::reset(); }
};

}  // namespace

TEST_F(Registry, UnknownClassSelectorOrKeyIsNotThere) {
    EXPECT_EQ(Runtime::classNamed("FIRAnalytics"), nullptr);
    EXPECT_FALSE(objc::respondsTo(Runtime::classNamed("FIRAnalytics"), "logEventWithName:parameters:"));
    EXPECT_EQ(objc::send(nullptr, "defaultApp"), std::nullopt);
    EXPECT_EQ(objc::valueForKey(nullptr, "sharedApplication"), std::nullopt);
    auto cls = Object::make("FIRApp");
    Runtime::registerClass(cls);
    EXPECT_FALSE(cls->respondsTo("defaultApp"));
    EXPECT_EQ(cls->send("defaultApp"), std::nullopt);
    EXPECT_EQ(cls->valueForKey("missing"), std::nullopt);
}

TEST_F(Registry, AnalyticsClassReceivesNameAndParameters) {
    std::string gotName;
    nlohmann::json gotParams;
    auto analytics = Object::make("FIRAnalytics");
    analytics->method("logEventWithName:parameters:", [&](Object&, const Args& a) {
        gotName = a.at(0).string().value_or("");
        gotParams = a.at(1).json().value_or(nullptr);
        return Value();
    });
    Runtime::registerClass(analytics);
    const auto cls = Runtime::classNamed("FIRAnalytics");
    ASSERT_TRUE(objc::respondsTo(cls, "logEventWithName:parameters:"));
    const auto result = cls->send("logEventWithName:parameters:",
                                  {"tavro_run_start", nlohmann::json{{"auto", 1}, {"tavro_sdk", "1.0.0"}}});
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->isNothing());
    EXPECT_EQ(gotName, "tavro_run_start");
    EXPECT_EQ(gotParams["tavro_sdk"], "1.0.0");
}

TEST_F(Registry, RemoteConfigChainWithCompletionFromAnotherThread) {
    auto defaultApp = Object::make("FIRApp");
    auto app = Object::make("FIRApp");
    defaultApp->method("defaultApp", [app](Object&, const Args&) { return Value(app); });
    Runtime::registerClass(defaultApp);

    auto config = Object::make("FIRRemoteConfig");
    config->method("configValueForKey:", [](Object&, const Args& a) {
        auto v = Object::make("FIRRemoteConfigValue");
        v->setValue(a.at(0).string() == "tavro_local_model" ? Value(" off ") : Value(), "stringValue");
        return Value(v);
    });
    std::thread fetcher;
    std::atomic<bool> completed{false};
    config->method("fetchAndActivateWithCompletionHandler:", [&](Object&, const Args& a) {
        auto done = a.at(0).callable();
        fetcher = std::thread([done] { done({Value(std::int64_t{1}), Value()}); });
        return Value();
    });
    auto configClass = Object::make("FIRRemoteConfig");
    configClass->method("remoteConfig", [config](Object&, const Args&) { return Value(config); });
    Runtime::registerClass(configClass);

    ASSERT_TRUE(objc::send(Runtime::classNamed("FIRApp"), "defaultApp")->object());
    const auto rc = objc::send(Runtime::classNamed("FIRRemoteConfig"), "remoteConfig")->object();
    ASSERT_TRUE(objc::respondsTo(rc, "configValueForKey:"));
    const auto value = rc->send("configValueForKey:", {"tavro_local_model"})->object();
    EXPECT_EQ(objc::valueForKey(value, "stringValue")->string(), " off ");
    const auto absent = rc->send("configValueForKey:", {"tavro_enabled"})->object();
    EXPECT_TRUE(objc::valueForKey(absent, "stringValue")->isNothing());

    rc->send("fetchAndActivateWithCompletionHandler:", {[&completed](const Args&) { completed = true; }});
    fetcher.join();
    EXPECT_TRUE(completed);
}

TEST_F(Registry, ApplicationIdleTimerByKeyValue) {
    auto app = Object::make("UIApplication");
    app->setValue(false, "idleTimerDisabled");
    auto cls = Object::make("UIApplication");
    cls->method("sharedApplication", [app](Object&, const Args&) { return Value(app); });
    Runtime::registerClass(cls);

    const auto shared = objc::valueForKey(Runtime::classNamed("UIApplication"), "sharedApplication");
    ASSERT_TRUE(shared && shared->object());
    EXPECT_EQ(shared->object()->valueForKey("idleTimerDisabled")->boolean(), false);
    shared->object()->setValue(true, "idleTimerDisabled");
    EXPECT_EQ(app->valueForKey("idleTimerDisabled")->boolean(), true);
}

TEST_F(Registry, SetterMethodTakesKeyValueWrites) {
    auto obj = Object::make("Switch");
    bool stored = false;
    obj->method("setOn:", [&stored](Object&, const Args& a) {
        stored = a.at(0).boolean().value_or(false);
        return Value();
    });
    obj->method("on", [&stored](Object&, const Args&) { return Value(stored); });
    obj->setValue(true, "on");
    EXPECT_TRUE(stored);
    EXPECT_EQ(obj->valueForKey("on")->boolean(), true);
}

TEST_F(Registry, MethodsMayCallBackIntoTheirObject) {
    auto obj = Object::make("Counter");
    obj->setValue(std::int64_t{0}, "count");
    obj->method("increment", [](Object& self, const Args&) {
        const auto n = self.valueForKey("count")->integer().value_or(0) + 1;
        self.setValue(n, "count");
        self.method("extra", [](Object&, const Args&) { return Value("added"); });
        return Value(n);
    });
    EXPECT_EQ(obj->send("increment")->integer(), 1);
    EXPECT_EQ(obj->send("extra")->string(), "added");
}

TEST_F(Registry, ValueAccessorsAnswerNothingForOtherKinds) {
    const Value text("x");
    EXPECT_EQ(text.boolean(), std::nullopt);
    EXPECT_EQ(text.integer(), std::nullopt);
    EXPECT_EQ(text.object(), nullptr);
    EXPECT_FALSE(text.callable());
    EXPECT_EQ(Value(3).number(), 3.0);
    EXPECT_EQ(Value(2.5).integer(), std::nullopt);
    EXPECT_TRUE(Value().isNothing());
    const Value fn([](const Args& a) { return Value(static_cast<std::int64_t>(a.size())); });
    EXPECT_EQ(fn.callable()({Value(), Value()}).integer(), 2);
}

TEST_F(Registry, RegistryIsSafeAcrossThreads) {
    std::vector<std::thread> threads;
    std::atomic<int> found{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &found] {
            for (int i = 0; i < 200; ++i) {
                const auto name = "C" + std::to_string(t) + "_" + std::to_string(i % 10);
                auto cls = Object::make(name);
                cls->method("ping", [](Object&, const Args&) { return Value(true); });
                Runtime::registerClass(cls);
                if (objc::send(Runtime::classNamed(name), "ping")) ++found;
                if (i % 7 == 0) Runtime::unregisterClass(name);
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(found.load(), 800);
    EXPECT_LE(Runtime::classNames().size(), 40u);
}
