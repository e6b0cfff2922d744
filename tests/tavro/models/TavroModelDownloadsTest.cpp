#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "DownloadTestSupport.h"
#include "tavro/models/AppleIntelligenceModel.h"
#include "tavro/models/TextTavroModel.h"

using namespace hostmodel;
using namespace std::chrono_literals;
using tavro::TavroModelDownloads;
using sysmodel::Availability;
using sysmodel::UnavailableReason;

using Downloads = DownloadsTest;

TEST_F(Downloads, TheCandidateIsOfferedOnlyWhenNothingCanAnswerOrBecomeUsable) {
    const std::shared_ptr<tavro::TavroModel> platform = std::make_shared<tavro::AppleIntelligenceModel>();
    const auto second = std::make_shared<HostModel>();
    const auto pick = [&](Models models) { return downloads->candidate(models); };
    backend->setAvailability(Availability::available());
    EXPECT_EQ(pick({platform, host}), nullptr);
    backend->setAvailability(Availability::unavailable(UnavailableReason::modelNotReady));  // supported, not ready
    EXPECT_EQ(pick({platform, host}), nullptr);
    backend->setAvailability(Availability::unavailable(UnavailableReason::deviceNotEligible));
    host->supported = true;  // a downloadable model's own "supported" holds nothing back
    EXPECT_EQ(pick({nullptr, platform, host, second}), host);
    const auto text = std::make_shared<tavro::TextTavroModel>(
        "server", tavro::TavroContextBudget::large, [] { return true; },
        [](std::string, std::string) -> rt::Task<std::optional<std::string>> { co_return std::nullopt; });
    EXPECT_EQ(pick({platform, host, text}), nullptr);
    host->offered = false;
    EXPECT_EQ(pick({platform, host, second}), second);
    host->offered = true;
    host->downloaded = true;
    EXPECT_EQ(pick({platform, host, second}), second);
    second->available = true;  // any usable model, a downloadable one too
    EXPECT_EQ(pick({host, second}), nullptr);
}

TEST_F(Downloads, OffersPutUpNameAndSizeAndOnlyAForcedOneReplacesThem) {
    std::vector<std::string> atAsking;
    const auto token = downloads->phase.didSet([&](const Phase& p) {
        if (p == Phase::asking()) atAsking = {downloads->model()->name(), *downloads->modelName, *downloads->sizeText};
    });
    offer();
    EXPECT_EQ(atAsking, (std::vector<std::string>{"Host 3B", "Host 3B", "1.5 GB"}));
    EXPECT_TRUE(events.empty());

    const auto other = std::make_shared<HostModel>();
    other->title = "Other 1B";
    other->bytes = 1'000'000'000;
    downloads->offerIfNeeded({other}, false);
    EXPECT_EQ(downloads->model(), host);
    downloads->offerIfNeeded({other}, true);
    EXPECT_EQ(downloads->model(), other);
    EXPECT_EQ(*downloads->sizeText, "1 GB");

    downloads->accept();
    offer(true);
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    EXPECT_EQ(downloads->model(), other);
    actor->runUntilIdle();
    step([&] { other->finish(); });
    offer();
    EXPECT_EQ(*downloads->phase, Phase::ready());
    offer(true);
    EXPECT_EQ(*downloads->phase, Phase::asking());
    EXPECT_EQ(downloads->model(), host);
}

TEST_F(Downloads, ARefusalHoldsUnforcedOffersBackUntilAnAccept) {
    int announced = 0;
    const auto token = downloads->observeChanges([&] { ++announced; });
    host->analytics = "host-3b";
    offer();
    downloads->decline();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_TRUE(downloads->declined());
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(*downloads->sizeText, "1.5 GB") << "the offer's fields stay";
    EXPECT_EQ(named("model_download_declined").at(0).at("model"), P("host-3b"));
    offer();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    offer(true);
    EXPECT_EQ(*downloads->phase, Phase::asking());

    downloads->accept();
    EXPECT_FALSE(downloads->declined());
    actor->runUntilIdle();
    step([&] { host->fail(DiskFull()); });
    offer();
    EXPECT_EQ(downloads->phase->kind(), Phase::Case::failed);
    downloads->dismissFailure();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    offer();
    EXPECT_EQ(*downloads->phase, Phase::asking());
}

TEST_F(Downloads, ARefusalSurvivesANewControllerOverTheSameDefaults) {
    offer();
    downloads->decline();
    fnd::UserDefaults::resetStandard();  // read back from the file
    renew();
    EXPECT_TRUE(downloads->declined());
    offer();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    downloads->decline();  // no model offered yet: named by its empty name
    EXPECT_EQ(named("model_download_declined").at(1).at("model"), P(""));
}

TEST_F(Downloads, TheStartEventCarriesWholeMegabytesAndTheCellularPath) {
    downloads->accept();
    EXPECT_TRUE(events.empty()) << "nothing to accept";
    for (const auto& [bytes, mb] : {std::pair<std::int64_t, std::int64_t>{999'999, 0}, {1'500'000, 1}}) {
        renew();
        setPath({.isExpensive = bytes == 999'999, .usesCellular = false});
        EXPECT_EQ(*downloads->onCellular, bytes == 999'999);
        host->bytes = bytes;
        startDownload();
        downloads->accept();
        const auto start = named("model_download_start");
        EXPECT_EQ(start.back(), (tavro::TavroAnalytics::Parameters{{"model", "Host 3B"}, {"size_mb", mb},
                                                                   {"cellular", std::int64_t(bytes == 999'999)},
                                                                   {"tavro_sdk", "1.0.0"}}));
    }
    EXPECT_EQ(named("model_download_start").size(), 2u) << "a second accept while downloading does nothing";
    EXPECT_EQ(host->calls, 2);
    setPath({.isExpensive = false, .usesCellular = true});
    EXPECT_TRUE(*downloads->onCellular);
}

TEST_F(Downloads, ProgressIsClampedAndReachesTheMainActorFromAnyThread) {
    startDownload();
    std::vector<double> seen;
    bool onMain = true;
    const auto main = std::this_thread::get_id();
    const auto token = downloads->progress.didSet([&](const double& p) {
        seen.push_back(p);
        onMain = onMain && std::this_thread::get_id() == main;
    });
    for (const double f : {0.4, -0.2, 1.3, std::numeric_limits<double>::quiet_NaN()}) step([&] { host->report(f); });
    EXPECT_EQ(seen, (std::vector<double>{0.4, 0.0, 1.0, 0.0}));
    std::thread worker([report = host->lastProgress] {
        for (int i = 1; i <= 100; ++i) report(i / 200.0);
    });
    worker.join();
    EXPECT_EQ(*downloads->progress, 0.0) << "nothing is set off the main actor";
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->progress, 0.5);
    EXPECT_TRUE(onMain);
}

TEST_F(Downloads, ASuccessIsReadyLogsDoneAndCallsOnReadyOnce) {
    std::vector<std::string> ready;
    downloads->onReady = [&] { ready.push_back(downloads->phase->kind() == Phase::Case::ready ? "ready" : "early"); };
    startDownload();
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    step([&] { host->report(0.5); });
    actor->runFor(4500ms);
    step([&] { host->finish(); });
    EXPECT_EQ(*downloads->phase, Phase::ready());
    EXPECT_EQ(*downloads->progress, 1.0);
    EXPECT_EQ(ready, std::vector<std::string>{"ready"});
    const auto done = named("model_download_done");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].at("seconds"), P(std::int64_t(4))) << "4.5 s, truncated";
    EXPECT_EQ(done[0].at("size_mb"), P(std::int64_t(1500)));
    EXPECT_TRUE(named("model_download_failed").empty());
}

TEST_F(Downloads, CancelIsIdleAtOnceAndAStoppedDownloadsLateEndIsLoggedButSetsNoPhase) {
    int ready = 0;
    downloads->onReady = [&] { ++ready; };
    startDownload();
    step([&] { host->report(0.3); });
    downloads->cancel();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_EQ(*downloads->progress, 0.3);
    step([&] { host->report(0.6); });  // the host notices the stop: the cancellation error
    EXPECT_EQ(*downloads->phase, Phase::idle());

    EXPECT_TRUE(named("model_download_failed").empty()) << "a download that stopped is no failure";

    // A retry is left alone by the stopped download's end, whether it stops, fails or finishes;
    // a host's download that ignores the stop still has its end logged, and a model that arrived
    // is announced.
    downloads->accept();
    actor->runUntilIdle();
    downloads->cancel();
    host->honoursCancel = false;
    downloads->accept();
    actor->runUntilIdle();
    step([&] { host->fail(DiskFull(), 2); });
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    ASSERT_EQ(named("model_download_failed").size(), 1u);
    EXPECT_EQ(named("model_download_failed")[0].at("error"), P("hostmodel::DiskFull"));
    downloads->cancel();
    step([&] { host->finish(3); });
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_EQ(*downloads->progress, 0.0) << "a stopped download does not show as complete";
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(named("model_download_done").size(), 1u);
}

TEST_F(Downloads, AFailureShowsItsTextLogsItsTypeAndRetryDownloadsTheSameModel) {
    startDownload();
    step([&] { host->fail(DiskFull()); });
    EXPECT_EQ(*downloads->phase, Phase::failed("Not enough free space for the model."));
    EXPECT_NE(*downloads->phase, Phase::failed("another text"));
    EXPECT_EQ(named("model_download_failed").at(0).at("error"), P("hostmodel::DiskFull"));
    EXPECT_EQ(named("model_download_failed").at(0).count("seconds"), 0u);

    downloads->accept();
    EXPECT_EQ(*downloads->progress, 0.0);
    actor->runUntilIdle();
    EXPECT_EQ(host->calls, 2);
    step([&] { host->fail(42); });  // not an exception: its type is all there is to tell
    EXPECT_EQ(*downloads->phase, Phase::failed("int"));
    EXPECT_EQ(named("model_download_failed").at(1).at("error"), P("int"));

    downloads->accept();
    actor->runUntilIdle();
    step([&] { host->fail(rt::CancellationError()); });  // the host's own stop: idle, no event
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_EQ(named("model_download_failed").size(), 2u);
}

TEST_F(Downloads, ADownloadOutlivingItsControllerStillLogsButChangesNothing) {
    int ready = 0;
    downloads->onReady = [&] { ++ready; };
    startDownload();
    const std::weak_ptr<TavroModelDownloads> gone = downloads;
    TavroModelDownloads::reset();
    downloads.reset();
    ASSERT_TRUE(gone.expired());
    step([&] { host->report(0.5); });
    step([&] { host->finish(); });
    EXPECT_EQ(named("model_download_done").size(), 1u);
    EXPECT_EQ(ready, 0);
}
