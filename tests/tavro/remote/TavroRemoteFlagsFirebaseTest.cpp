#include <gtest/gtest.h>

#include <thread>

#include "platform/objc/Runtime.h"
#include "tavro/remote/TavroAnalytics.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/remote/TavroRemoteFlags.h"

using namespace tavro;
using Family = TavroModelSwitch::Family;

namespace {

// A stand-in for the host's remote-config library: a default app, a remote-config object whose
// values the test changes, and a fetch whose completion the test calls when it likes.
class FakeRemoteConfig {
public:
    explicit FakeRemoteConfig(bool appConfigured = true) {
        auto appClass = objc::Object::make("FIRApp");
        auto app = objc::Object::make("FIRApp");
        appClass->method("defaultApp", [app, appConfigured](objc::Object&, const objc::Args&) {
            return appConfigured ? objc::Value(app) : objc::Value();
        });
        objc::Runtime::registerClass(appClass);

        config_ = objc::Object::make("FIRRemoteConfig");
        config_->method("configValueForKey:", [this](objc::Object&, const objc::Args& args) {
            auto value = objc::Object::make("FIRRemoteConfigValue");
            std::lock_guard guard(lock_);
            const auto found = values_.find(args.at(0).string().value_or(""));
            if (found != values_.end()) value->setValue(objc::Value(found->second), "stringValue");
            return objc::Value(value);
        });
        config_->method("fetchAndActivateWithCompletionHandler:", [this](objc::Object&, const objc::Args& args) {
            std::lock_guard guard(lock_);
            completion_ = args.at(0).callable();
            return objc::Value();
        });
        auto configClass = objc::Object::make("FIRRemoteConfig");
        configClass->method("remoteConfig", [config = config_](objc::Object&, const objc::Args&) { return objc::Value(config); });
        objc::Runtime::registerClass(configClass);
    }

    void set(const std::string& key, std::optional<std::string> value) {
        std::lock_guard guard(lock_);
        if (value) values_[key] = *value;
        else values_.erase(key);
    }

    objc::Value::Callable completion() {
        std::lock_guard guard(lock_);
        return completion_;
    }

private:
    objc::ObjectPtr config_;
    std::mutex lock_;
    std::map<std::string, std::string> values_;
    objc::Value::Callable completion_;
};

class TavroRemoteConfigRead : public ::testing::Test {
protected:
    void SetUp() override { resetAll(); }
    void TearDown() override { resetAll(); }
    static void resetAll() {
        objc::Runtime::reset();
        TavroRemoteFlags::reset();
        TavroModelSwitch::reset();
        TavroPacks::reset();
        TavroAnalytics::reset();
        TavroAnalytics::setSink(nullptr);
    }
};

}  // namespace

TEST_F(TavroRemoteConfigRead, ValuesNowAndAfterTheFetch) {
    FakeRemoteConfig remote;
    remote.set("tavro_enabled", " FALSE ");
    remote.set("tavro_local_model", " off ");
    std::vector<Family> families;
    TavroModelSwitch::observe([&](Family family) { families.push_back(family); });

    TavroModelSwitch::refreshFromFirebase();
    EXPECT_TRUE(TavroRemoteFlags::hidden());
    EXPECT_FALSE(TavroRemoteFlags::hiddenWithoutNativeModel());
    EXPECT_EQ(TavroModelSwitch::remoteValue(), "off");
    EXPECT_EQ(TavroModelSwitch::current(), Family::off);

    // The fetch brings new values; its completion arrives on the library's own thread.
    remote.set("tavro_enabled", std::nullopt);
    remote.set("tavro_enabled_without_native_model", "no");
    remote.set("tavro_local_model", "   ");
    const auto completion = remote.completion();
    ASSERT_TRUE(completion);
    std::thread([&] { completion({objc::Value(true), objc::Value()}); }).join();

    EXPECT_FALSE(TavroRemoteFlags::hidden()) << "a missing key reads as enabled";
    EXPECT_TRUE(TavroRemoteFlags::hiddenWithoutNativeModel());
    EXPECT_EQ(TavroModelSwitch::remoteValue(), std::nullopt) << "a blank value clears the stored one";
    EXPECT_EQ(families, (std::vector{Family::off, Family::qwen}));
}

TEST_F(TavroRemoteConfigRead, WithoutTheLibraryOnlyTheFamilyIsAnnounced) {
    TavroRemoteFlags::set(true, true);
    TavroModelSwitch::setRemote("off");
    std::vector<Family> families;
    TavroModelSwitch::observe([&](Family family) { families.push_back(family); });

    TavroModelSwitch::refreshFromFirebase();  // no classes registered at all
    {
        FakeRemoteConfig unconfigured(false);  // the library is linked but has no default app
        TavroModelSwitch::refreshFromFirebase();
    }
    EXPECT_TRUE(TavroRemoteFlags::hidden());
    EXPECT_TRUE(TavroRemoteFlags::hiddenWithoutNativeModel());
    EXPECT_EQ(TavroModelSwitch::remoteValue(), "off");
    EXPECT_TRUE(families.empty()) << "the family was already announced as off";
}

TEST_F(TavroRemoteConfigRead, FirstRefreshWithoutLibraryInformsObservers) {
    std::vector<Family> families;
    TavroModelSwitch::observe([&](Family family) { families.push_back(family); });
    TavroModelSwitch::refreshFromFirebase();
    EXPECT_EQ(families, std::vector{Family::qwen});
}
