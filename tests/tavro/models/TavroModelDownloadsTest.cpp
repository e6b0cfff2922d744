#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "DownloadTestSupport.h"
#include "tavro/models/AppleIntelligenceModel.h"
#include "tavro/models/TextTavroModel.h"

using namespace hostmodel;
using namespace std::chrono_literals;
using tavro::AppleIntelligenceModel;
using tavro::TavroModelDownloads;
using sysmodel::Availability;
using sysmodel::UnavailableReason;

namespace {

class Candidate : public DownloadsTest {
protected:
    std::shared_ptr<tavro::TavroModel> platform = std::make_shared<AppleIntelligenceModel>();
    std::shared_ptr<HostModel> host = std::make_shared<HostModel>();
};

class Offer : public DownloadsTest {
protected:
    std::shared_ptr<HostModel> host = std::make_shared<HostModel>();
    TavroModelDownloads::Models list = models({host});
};

}  // namespace

TEST_F(Candidate, OnlyWhenNothingCanAnswerOrBecomeUsable) {
    backend->setAvailability(Availability::available());
    EXPECT_EQ(downloads->candidate(models({platform})), nullptr);
    EXPECT_EQ(downloads->candidate(models({platform, host})), nullptr);

    // Supported on the device but not ready yet: it can become usable without a download.
    backend->setAvailability(Availability::unavailable(UnavailableReason::modelNotReady));
    EXPECT_EQ(downloads->candidate(models({platform, host})), nullptr);

    backend->setAvailability(Availability::unavailable(UnavailableReason::deviceNotEligible));
    EXPECT_EQ(downloads->candidate(models({platform, host})), host);

    // A usable model of any kind, a downloadable one included, leaves nothing to offer.
    const auto text = std::make_shared<tavro::TextTavroModel>(
        "server", tavro::TavroContextBudget::large, [] { return true; },
        [](std::string, std::string) -> rt::Task<std::optional<std::string>> { co_return std::nullopt; });
    EXPECT_EQ(downloads->candidate(models({platform, host, text})), nullptr);
    host->available = true;
    EXPECT_EQ(downloads->candidate(models({host})), nullptr);
}

TEST_F(Candidate, FirstOfferedDownloadableNotYetOnTheDevice) {
    // A downloadable model's own "supported" does not hold the offer back.
    host->supported = true;
    const auto second = std::make_shared<HostModel>("Second 1B", 900'000'000);
    EXPECT_EQ(downloads->candidate(models({nullptr, platform, host, second})), host);
    host->offered = false;
    EXPECT_EQ(downloads->candidate(models({platform, host, second})), second);
    host->offered = true;
    host->downloaded = true;
    EXPECT_EQ(downloads->candidate(models({platform, host, second})), second);
    second->downloaded = true;
    EXPECT_EQ(downloads->candidate(models({platform, host, second})), nullptr);
    EXPECT_EQ(downloads->candidate(models({})), nullptr);
}

TEST_F(Offer, PutsUpNameAndSizeBeforeAsking) {
    std::vector<std::string> seenAtAsking;
    const auto token = downloads->phase.didSet([&](const Phase& phase) {
        if (phase == Phase::asking()) seenAtAsking = {downloads->model() ? "model" : "", *downloads->modelName, *downloads->sizeText};
    });
    downloads->offerIfNeeded(list, false);
    EXPECT_EQ(*downloads->phase, Phase::asking());
    EXPECT_EQ(downloads->model(), host);
    EXPECT_EQ(seenAtAsking, (std::vector<std::string>{"model", "Host 3B", "1.5 GB"}));
    EXPECT_TRUE(events.empty());

    // Nothing to offer: nothing changes.
    TavroModelDownloads::reset();
    downloads = TavroModelDownloads::shared();
    host->downloaded = true;
    downloads->offerIfNeeded(list, true);
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_EQ(downloads->model(), nullptr);
    EXPECT_EQ(*downloads->modelName, "");
}

TEST_F(Offer, SecondOffersChangeNothingUnlessForcedAndNeverWhileDownloading) {
    downloads->offerIfNeeded(list, false);
    const auto other = std::make_shared<HostModel>("Other 1B", 1'000'000'000);
    const auto others = models({other});
    downloads->offerIfNeeded(others, false);
    EXPECT_EQ(downloads->model(), host);
    EXPECT_EQ(*downloads->modelName, "Host 3B");

    downloads->offerIfNeeded(others, true);
    EXPECT_EQ(downloads->model(), other);
    EXPECT_EQ(*downloads->sizeText, "1 GB");
    EXPECT_EQ(*downloads->phase, Phase::asking());

    downloads->accept();
    downloads->offerIfNeeded(list, true);
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    EXPECT_EQ(downloads->model(), other);

    // Ready: only a forced offer comes back (for a model still to download).
    actor->runUntilIdle();
    other->finish();
    actor->runUntilIdle();
    ASSERT_EQ(*downloads->phase, Phase::ready());
    downloads->offerIfNeeded(list, false);
    EXPECT_EQ(*downloads->phase, Phase::ready());
    downloads->offerIfNeeded(list, true);
    EXPECT_EQ(*downloads->phase, Phase::asking());
    EXPECT_EQ(downloads->model(), host);
}

TEST_F(Offer, DeclineIsRememberedForcedOffersComeBackAndAnAcceptForgetsIt) {
    int announced = 0;
    const auto token = downloads->observeChanges([&] { ++announced; });
    host->analytics = "host-3b";
    downloads->offerIfNeeded(list, false);
    downloads->decline();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_TRUE(downloads->declined());
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(downloads->model(), host);
    EXPECT_EQ(*downloads->modelName, "Host 3B");
    EXPECT_EQ(*downloads->sizeText, "1.5 GB");
    ASSERT_EQ(named("tavro_model_download_declined").size(), 1u);
    EXPECT_EQ(named("tavro_model_download_declined")[0].parameters.at("model"), P("host-3b"));

    downloads->offerIfNeeded(list, false);
    EXPECT_EQ(*downloads->phase, Phase::idle());
    downloads->offerIfNeeded(list, true);
    EXPECT_EQ(*downloads->phase, Phase::asking());

    // Accepting clears the refusal; after a failure that is dismissed the unforced offer works.
    downloads->accept();
    EXPECT_FALSE(downloads->declined());
    EXPECT_EQ(announced, 2);
    actor->runUntilIdle();
    host->fail(DiskFull());
    actor->runUntilIdle();
    ASSERT_EQ(downloads->phase->kind(), Phase::Case::failed);
    downloads->offerIfNeeded(list, false);
    EXPECT_EQ(downloads->phase->kind(), Phase::Case::failed);
    downloads->dismissFailure();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    downloads->dismissFailure();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    downloads->offerIfNeeded(list, false);
    EXPECT_EQ(*downloads->phase, Phase::asking());
}

TEST_F(Offer, ARefusalSurvivesANewControllerAndAReadOfTheStoredDefaults) {
    downloads->offerIfNeeded(list, false);
    downloads->decline();
    TavroModelDownloads::reset();
    fnd::UserDefaults::resetStandard();  // read back from the file
    downloads = TavroModelDownloads::shared();
    EXPECT_TRUE(downloads->declined());
    downloads->offerIfNeeded(list, false);
    EXPECT_EQ(*downloads->phase, Phase::idle());

    // A decline with no offered model names the model by its (empty) name.
    downloads->decline();
    ASSERT_EQ(named("tavro_model_download_declined").size(), 2u);
    EXPECT_EQ(named("tavro_model_download_declined")[1].parameters.at("model"), P(""));
}

TEST_F(Offer, AcceptNeedsAModelAndStartsOnce) {
    downloads->accept();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_TRUE(events.empty());

    downloads->offerIfNeeded(list, false);
    downloads->accept();
    downloads->accept();
    actor->runUntilIdle();
    EXPECT_EQ(host->calls, 1);
    EXPECT_EQ(named("tavro_model_download_start").size(), 1u);
}

TEST_F(Offer, SizeInWholeMegabytesAndTheCellularFieldAtTheStart) {
    for (const auto& [bytes, mb] : std::vector<std::pair<std::int64_t, std::int64_t>>{{999'999, 0}, {1'500'000, 1}}) {
        events.clear();
        TavroModelDownloads::reset();
        downloads = TavroModelDownloads::shared();
        setPath(net::Path{.isExpensive = bytes == 999'999, .usesCellular = false});
        host->bytes = bytes;
        downloads->offerIfNeeded(list, true);
        downloads->accept();
        const auto start = named("tavro_model_download_start");
        ASSERT_EQ(start.size(), 1u);
        EXPECT_EQ(start[0].parameters.at("model"), P("Host 3B"));
        EXPECT_EQ(start[0].parameters.at("size_mb"), P(mb));
        EXPECT_EQ(start[0].parameters.at("cellular"), P(std::int64_t(bytes == 999'999 ? 1 : 0)));
    }
}

TEST_F(Offer, ProgressIsClampedAndANaNCountsAsZero) {
    downloads->offerIfNeeded(list, false);
    downloads->accept();
    actor->runUntilIdle();
    std::vector<double> seen;
    const auto token = downloads->progress.didSet([&](const double& p) { seen.push_back(p); });
    for (const double fraction : {0.4, -0.2, 1.3, std::numeric_limits<double>::quiet_NaN(), 0.5}) {
        host->report(fraction);
        actor->runUntilIdle();
    }
    EXPECT_EQ(seen, (std::vector<double>{0.4, 0.0, 1.0, 0.0, 0.5}));
    EXPECT_EQ(*downloads->phase, Phase::downloading());
}

TEST_F(Offer, ASuccessfulDownloadIsReadyLogsOnceAndCallsOnReadyOnce) {
    int ready = 0;
    std::vector<std::string> atReady;
    downloads->onReady = [&] {
        ++ready;
        atReady = {downloads->phase->kind() == Phase::Case::ready ? "ready" : "?",
                   std::to_string(named("tavro_model_download_done").size())};
    };
    setPath(net::Path{.isExpensive = false, .usesCellular = true});
    downloads->offerIfNeeded(list, false);
    downloads->accept();
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    EXPECT_EQ(*downloads->progress, 0.0);
    actor->runUntilIdle();
    host->report(0.5);
    actor->runFor(2500ms);
    host->report(0.9);
    actor->runFor(2000ms);
    host->finish();
    actor->runUntilIdle();

    EXPECT_EQ(*downloads->phase, Phase::ready());
    EXPECT_EQ(*downloads->progress, 1.0);
    EXPECT_TRUE(host->downloaded);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(atReady, (std::vector<std::string>{"ready", "1"}));
    const auto done = named("tavro_model_download_done");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].parameters.at("model"), P("Host 3B"));
    EXPECT_EQ(done[0].parameters.at("size_mb"), P(std::int64_t(1500)));
    EXPECT_EQ(done[0].parameters.at("cellular"), P(std::int64_t(1)));
    EXPECT_EQ(done[0].parameters.at("seconds"), P(std::int64_t(4)));  // 4.5 s, truncated
    EXPECT_TRUE(named("tavro_model_download_failed").empty());
    EXPECT_EQ(host->calls, 1);
}

TEST_F(Offer, CancelIsIdleAtOnceAndTheDownloadsLateEndChangesNothing) {
    int ready = 0;
    downloads->onReady = [&] { ++ready; };
    downloads->offerIfNeeded(list, false);
    downloads->accept();
    actor->runUntilIdle();
    host->report(0.3);
    actor->runUntilIdle();
    downloads->cancel();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_EQ(*downloads->progress, 0.3);

    // A cooperative host stops with the cancellation error: no event, still idle.
    host->report(0.6);
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::idle());

    // A host that finishes anyway after the stop changes nothing either.
    host->honoursCancel = false;
    downloads->accept();
    actor->runUntilIdle();
    downloads->cancel();
    host->finish();
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_EQ(ready, 0);
    EXPECT_TRUE(named("tavro_model_download_done").empty());
    EXPECT_TRUE(named("tavro_model_download_failed").empty());
    EXPECT_EQ(named("tavro_model_download_start").size(), 2u);
}

TEST_F(Offer, AStoppedDownloadEndingLateLeavesTheRetryAlone) {
    downloads->offerIfNeeded(list, false);
    downloads->accept();
    actor->runUntilIdle();
    downloads->cancel();
    downloads->accept();
    actor->runUntilIdle();
    ASSERT_EQ(host->calls, 2);
    // The first download notices its stop only now and ends with the cancellation error.
    host->report(0.1, 1);
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::downloading());

    // A host that ignores the stop and fails late leaves the next retry alone too.
    host->honoursCancel = false;
    downloads->cancel();
    downloads->accept();
    actor->runUntilIdle();
    ASSERT_EQ(host->calls, 3);
    host->fail(DiskFull(), 2);
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    EXPECT_TRUE(named("tavro_model_download_failed").empty());
    host->report(0.7, 3);
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->progress, 0.7);
    host->finish(3);
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::ready());
    EXPECT_EQ(named("tavro_model_download_done").size(), 1u);
}

TEST_F(Offer, AFailureShowsItsTextLogsItsTypeAndRetryDownloadsTheSameModel) {
    int ready = 0;
    downloads->onReady = [&] { ++ready; };
    downloads->offerIfNeeded(list, false);
    downloads->accept();
    actor->runUntilIdle();
    host->report(0.2);
    actor->runUntilIdle();
    host->fail(DiskFull());
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::failed("Not enough free space for the model."));
    EXPECT_NE(*downloads->phase, Phase::failed("another text"));
    EXPECT_EQ(ready, 0);
    const auto failed = named("tavro_model_download_failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].parameters.at("error"), P("hostmodel::DiskFull"));
    EXPECT_EQ(failed[0].parameters.at("model"), P("Host 3B"));
    EXPECT_EQ(failed[0].parameters.count("seconds"), 0u);
    EXPECT_TRUE(named("tavro_model_download_done").empty());

    // Retry reuses the offered model.
    downloads->accept();
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    EXPECT_EQ(*downloads->progress, 0.0);
    actor->runUntilIdle();
    EXPECT_EQ(host->calls, 2);
    host->fail(42);  // not an exception: its type is all there is to say
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::failed("int"));
    EXPECT_EQ(named("tavro_model_download_failed").back().parameters.at("error"), P("int"));

    downloads->accept();
    actor->runUntilIdle();
    host->finish();
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::ready());
    EXPECT_EQ(ready, 1);
}

TEST_F(Offer, AHostsOwnCancellationErrorEndsIdleWithoutAnEvent) {
    downloads->offerIfNeeded(list, false);
    downloads->accept();
    actor->runUntilIdle();
    host->fail(rt::CancellationError());
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_TRUE(named("tavro_model_download_failed").empty());
}

TEST_F(Offer, ProgressFromAnotherThreadIsSetOnTheMainActor) {
    downloads->offerIfNeeded(list, false);
    downloads->accept();
    actor->runUntilIdle();
    const auto main = std::this_thread::get_id();
    bool onMain = true;
    const auto token = downloads->progress.didSet([&](const double&) { onMain = onMain && std::this_thread::get_id() == main; });
    std::thread worker([report = host->lastProgress] {
        for (int i = 1; i <= 100; ++i) report(i / 100.0);
    });
    worker.join();
    EXPECT_EQ(*downloads->progress, 0.0);  // nothing is set off the main actor
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->progress, 1.0);
    EXPECT_TRUE(onMain);
}

TEST_F(Offer, ADownloadOutlivingItsControllerStillLogsButChangesNothing) {
    int ready = 0;
    downloads->onReady = [&] { ++ready; };
    downloads->offerIfNeeded(list, false);
    downloads->accept();
    actor->runUntilIdle();
    const std::weak_ptr<TavroModelDownloads> gone = downloads;
    TavroModelDownloads::reset();
    downloads.reset();
    ASSERT_TRUE(gone.expired());
    host->report(0.5);
    actor->runUntilIdle();
    host->finish();
    actor->runUntilIdle();
    EXPECT_EQ(named("tavro_model_download_done").size(), 1u);
    EXPECT_EQ(ready, 0);
}

TEST_F(DownloadsTest, TheNetworkPathSetsOnCellularOnTheMainActor) {
    setPath(net::Path{.isExpensive = false, .usesCellular = true});
    EXPECT_TRUE(*downloads->onCellular);
    setPath(net::Path{});
    EXPECT_FALSE(*downloads->onCellular);
    setPath(net::Path{.isExpensive = true, .usesCellular = false});
    EXPECT_TRUE(*downloads->onCellular);
    EXPECT_EQ(downloads->monitor()->queue()->label(), "tavro.sdk.download.net");
    EXPECT_EQ(TavroModelDownloads::shared(), downloads);
}
