// A host's downloadable model whose download the test drives one step at a time (report a
// fraction, finish, fail), and a fixture with a fresh download controller over fresh user
// defaults, a virtual-time main actor and an analytics sink that keeps every event.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/PreferredLanguages.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/PathMonitor.h"
#include "platform/runtime/CancellationError.h"
#include "platform/runtime/Continuation.h"
#include "platform/runtime/Task.h"
#include "platform/sysmodel/ScriptedBackend.h"
#include "platform/sysmodel/SystemModel.h"
#include "tavro/models/TavroDownloadableModel.h"
#include "tavro/models/TavroModelDownloads.h"
#include "tavro/remote/TavroAnalytics.h"

namespace hostmodel {

// What the host's download does next.
struct Step {
    enum class Kind { report, finish, fail } kind = Kind::report;
    double fraction = 0;
    std::exception_ptr error;
};

struct DiskFull : std::runtime_error {
    DiskFull() : std::runtime_error("Not enough free space for the model.") {}
};

class HostModel : public tavro::TavroDownloadableModel {
public:
    explicit HostModel(std::string title = "Host 3B", std::int64_t bytes = 1'500'000'000)
        : title(std::move(title)), bytes(bytes) {}

    std::string title;
    std::int64_t bytes;
    bool available = false;
    bool supported = false;
    bool downloaded = false;
    bool offered = true;
    std::optional<std::string> analytics;
    // A cooperative host stops with the cancellation error once its task is cancelled.
    bool honoursCancel = true;

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
    std::string analyticsName() const override { return analytics ? *analytics : TavroDownloadableModel::analyticsName(); }
    void removeDownload() override { downloaded = false; }

    rt::Task<void> download(std::function<void(double)> progress) override {
        const int call = ++calls;
        lastProgress = progress;
        for (;;) {
            rt::Continuation<Step> gate;
            gates[call] = gate;
            const Step step = co_await gate;
            const bool cancelled = co_await rt::isCancelled();
            if (cancelled && honoursCancel) throw rt::CancellationError();
            switch (step.kind) {
                case Step::Kind::report:
                    progress(step.fraction);
                    break;
                case Step::Kind::finish:
                    downloaded = true;
                    co_return;
                case Step::Kind::fail:
                    std::rethrow_exception(step.error);
            }
        }
    }

    // Drives the given download (the latest by default) one step.
    void report(double fraction, int call = 0) { drive({Step::Kind::report, fraction, nullptr}, call); }
    void finish(int call = 0) { drive({Step::Kind::finish, 0, nullptr}, call); }
    template <class E>
    void fail(E error, int call = 0) {
        drive({Step::Kind::fail, 0, std::make_exception_ptr(std::move(error))}, call);
    }

private:
    void drive(Step step, int call) {
        const auto it = gates.find(call == 0 ? calls : call);
        ASSERT_NE(it, gates.end()) << "no download is waiting";
        EXPECT_TRUE(it->second.resume(std::move(step))) << "the download has not taken its last step yet";
    }
    std::map<int, rt::Continuation<Step>> gates;
};

struct Event {
    std::string name;
    tavro::TavroAnalytics::Parameters parameters;
};

class DownloadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fnd::AppDirectories::useFreshTemporaryRoot();
        fnd::UserDefaults::resetStandard();
        fnd::PreferredLanguages::setOverride(std::vector<std::string>{"en-US"});
        sysmodel::SystemModel::reset();
        backend = std::make_shared<sysmodel::ScriptedBackend>(
            sysmodel::Availability::unavailable(sysmodel::UnavailableReason::deviceNotEligible));
        sysmodel::SystemModel::install(backend);
        tavro::TavroAnalytics::reset();
        tavro::TavroAnalytics::setSink([this](const std::string& name, const tavro::TavroAnalytics::Parameters& p) {
            events.push_back({name, p});
        });
        tavro::TavroModelDownloads::reset();
        downloads = tavro::TavroModelDownloads::shared();
        // The test's own paths from here on, not the kernel's.
        setPath(net::Path{});
    }
    void TearDown() override {
        tavro::TavroModelDownloads::reset();
        tavro::TavroAnalytics::reset();
        sysmodel::SystemModel::reset();
        fnd::PreferredLanguages::reset();
        fnd::UserDefaults::resetStandard();
        fnd::AppDirectories::reset();
    }

    // Hands the controller a network path and lets its update reach the main actor.
    void setPath(net::Path path) {
        downloads->monitor()->inject(path);
        downloads->monitor()->queue()->sync([] {});
        actor->runUntilIdle();
    }

    std::vector<Event> named(const std::string& name) const {
        std::vector<Event> found;
        for (const auto& e : events)
            if (e.name == name) found.push_back(e);
        return found;
    }

    tavro::TavroModelDownloads::Models models(std::vector<std::shared_ptr<tavro::TavroModel>> list) { return list; }

    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<sysmodel::ScriptedBackend> backend;
    std::vector<Event> events;
    std::shared_ptr<tavro::TavroModelDownloads> downloads;
};

using P = tavro::TavroAnalytics::Parameter;
using Phase = tavro::TavroModelDownloads::Phase;

}  // namespace hostmodel
