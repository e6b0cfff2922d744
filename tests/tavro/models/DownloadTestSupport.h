// A host's downloadable model whose download the test drives one step at a time (report a
// fraction, finish, fail), and a fixture with a fresh download controller over fresh user
// defaults, a virtual-time main actor and an analytics sink that keeps every event.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/PreferredLanguages.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/CancellationError.h"
#include "platform/runtime/Continuation.h"
#include "platform/sysmodel/ScriptedBackend.h"
#include "platform/sysmodel/SystemModel.h"
#include "tavro/models/TavroModelDownloads.h"
#include "tavro/remote/TavroAnalytics.h"

namespace hostmodel {

struct DiskFull : std::runtime_error {
    DiskFull() : std::runtime_error("Not enough free space for the model.") {}
};

class HostModel : public tavro::TavroDownloadableModel {
public:
    std::string title = "Host 3B";
    std::int64_t bytes = 1'500'000'000;
    bool available = false, supported = false, downloaded = false, offered = true;
    std::string analytics;       // empty: the default, the download name
    bool honoursCancel = true;   // stops with the cancellation error once its task is cancelled
    int calls = 0;
    std::function<void(double)> lastProgress;

    std::string name() const override { return title; }
    bool isAvailable() const override { return available; }
    bool isSupportedOnDevice() const override { return supported; }
    rt::Task<std::optional<tavro::TavroAction>> decide(std::string, std::string) override { co_return std::nullopt; }
    std::string downloadName() const override { return title; }
    std::int64_t downloadBytes() const override { return bytes; }
    bool isDownloaded() const override { return downloaded; }
    bool isOffered() const override { return offered; }
    std::string analyticsName() const override { return analytics.empty() ? TavroDownloadableModel::analyticsName() : analytics; }
    void removeDownload() override { downloaded = false; }

    // Each step waits for the test: a fraction to report, the end (nothing), or an error to throw.
    struct Step {
        std::optional<double> fraction;
        std::exception_ptr error;
    };
    rt::Task<void> download(std::function<void(double)> progress) override {
        const int call = ++calls;
        lastProgress = progress;
        for (;;) {
            rt::Continuation<Step> gate;
            gates[call] = gate;
            const Step step = co_await gate;
            const bool cancelled = co_await rt::isCancelled();
            if (cancelled && honoursCancel) throw rt::CancellationError();
            if (step.error) std::rethrow_exception(step.error);
            if (!step.fraction) break;
            progress(*step.fraction);
        }
        downloaded = true;
    }

    // Drives download number `call` (the latest by default) one step.
    void report(double fraction, int call = 0) { drive({fraction, nullptr}, call); }
    void finish(int call = 0) { drive({}, call); }
    template <class E>
    void fail(E error, int call = 0) { drive({std::nullopt, std::make_exception_ptr(error)}, call); }

private:
    void drive(Step step, int call) {
        const auto it = gates.find(call == 0 ? calls : call);
        ASSERT_NE(it, gates.end()) << "no download is waiting";
        EXPECT_TRUE(it->second.resume(std::move(step))) << "the download has not taken its last step yet";
    }
    std::map<int, rt::Continuation<Step>> gates;
};

using P = tavro::TavroAnalytics::Parameter;
using Phase = tavro::TavroModelDownloads::Phase;
using Models = tavro::TavroModelDownloads::Models;

class DownloadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fnd::AppDirectories::useFreshTemporaryRoot();
        fnd::UserDefaults::resetStandard();
        fnd::PreferredLanguages::setOverride(std::vector<std::string>{"en-US"});
        sysmodel::SystemModel::reset();
        sysmodel::SystemModel::install(backend);
        tavro::TavroAnalytics::reset();
        tavro::TavroAnalytics::setSink([this](const std::string& name, const tavro::TavroAnalytics::Parameters& p) {
            events.emplace_back(name, p);
        });
        renew();
    }
    void TearDown() override {
        tavro::TavroModelDownloads::reset();
        tavro::TavroAnalytics::reset();
        sysmodel::SystemModel::reset();
        fnd::PreferredLanguages::reset();
        fnd::UserDefaults::resetStandard();
        fnd::AppDirectories::reset();
    }

    // A new shared controller over the same user defaults, seeing the test's paths, not the kernel's.
    void renew() {
        tavro::TavroModelDownloads::reset();
        downloads = tavro::TavroModelDownloads::shared();
        setPath({});
    }
    // Hands the controller a network path and lets its update reach the main actor.
    void setPath(net::Path path) {
        downloads->monitor()->inject(path);
        downloads->monitor()->queue()->sync([] {});
        actor->runUntilIdle();
    }
    void offer(bool force = false) { downloads->offerIfNeeded({host}, force); }
    void startDownload() {
        offer(true);
        downloads->accept();
        actor->runUntilIdle();
    }
    // Drives the host's download one step and lets the controller follow.
    void step(const std::function<void()>& drive) {
        drive();
        actor->runUntilIdle();
    }
    std::vector<tavro::TavroAnalytics::Parameters> named(const std::string& name) const {
        std::vector<tavro::TavroAnalytics::Parameters> found;
        for (const auto& [event, parameters] : events)
            if (event == "tavro_" + name) found.push_back(parameters);
        return found;
    }

    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<sysmodel::ScriptedBackend> backend = std::make_shared<sysmodel::ScriptedBackend>(
        sysmodel::Availability::unavailable(sysmodel::UnavailableReason::deviceNotEligible));
    std::vector<std::pair<std::string, tavro::TavroAnalytics::Parameters>> events;
    std::shared_ptr<tavro::TavroModelDownloads> downloads;
    std::shared_ptr<HostModel> host = std::make_shared<HostModel>();
};

}  // namespace hostmodel
