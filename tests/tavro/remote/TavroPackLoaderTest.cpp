#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/crypto/Base64.h"
#include "platform/crypto/P256SigningKey.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/LoopbackServer.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroPackLoader.h"

using namespace tavro;
using namespace std::chrono_literals;

namespace {

// A pack server on loopback: each path answers what the test put there (404 otherwise).
class PackLoader : public ::testing::Test {
protected:
    struct Answer {
        int status = 200;
        std::string body;
        std::string etag;
        std::chrono::milliseconds delay{0};  // a real wait before answering, cut short at teardown
        std::string location;                // a redirect there instead of a body
    };

    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    // What the server answers; declared before the server, so the server's thread has stopped
    // before they go.
    std::mutex lock_;
    std::map<std::string, Answer> answers_;
    nettest::LoopbackServer server;
    crypto::P256SigningKey signer = crypto::P256SigningKey::generate();
    std::map<std::string, std::string> keys{{"test-1", signer.publicKeyPEM()}};
    std::shared_ptr<TavroPackLoader> loader;

    void SetUp() override {
        fnd::AppDirectories::useFreshTemporaryRoot();
        fnd::UserDefaults::resetStandard();
        TavroPacks::reset();
        TavroModelSwitch::reset();
        server.http.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            Answer answer{.status = 404};
            {
                std::lock_guard guard(lock_);
                if (const auto it = answers_.find(request.path); it != answers_.end()) answer = it->second;
            }
            if (answer.delay.count() > 0) server.waitAtGate(answer.delay);
            if (!answer.location.empty()) {
                response.set_redirect(answer.location);
                return;
            }
            response.status = answer.status;
            if (!answer.etag.empty()) response.set_header("ETag", answer.etag);
            if (answer.status == 200 && request.get_header_value("If-None-Match") == answer.etag && !answer.etag.empty()) {
                response.status = 304;
                return;
            }
            response.set_content(answer.body, "application/json");
        });
        server.start();
        loader = makeLoader(server.url("/"), keys);
    }
    void TearDown() override {
        TavroPacks::reset();
        TavroModelSwitch::reset();
        fnd::UserDefaults::resetStandard();
        std::error_code ignored;
        std::filesystem::remove_all(fnd::AppDirectories::root(), ignored);
        fnd::AppDirectories::reset();
    }

    static std::shared_ptr<TavroPackLoader> makeLoader(std::string base, std::map<std::string, std::string> keys,
                                                       std::string appID = "com.example.app") {
        auto made = TavroPackLoader::create({.base = std::move(base), .keys = std::move(keys), .interval = 3600},
                                            std::move(appID), [] { return std::string("install-42"); });
        made->setRequestTimeout(0.5);
        return made;
    }

    std::string envelope(const std::string& pack, const std::string& kid = "test-1") const {
        return nlohmann::json{{"kid", kid}, {"sig", crypto::base64Encode(signer.sign(pack))}, {"pack", pack}}.dump();
    }
    static std::string pack(int version) { return R"({"version": )" + std::to_string(version) + R"(, "localModel": "off"})"; }

    void serve(const std::string& name, Answer answer) {
        std::lock_guard guard(lock_);
        answers_["/tavro/packs/" + name + ".json"] = std::move(answer);
    }
    std::string refresh(bool force, const std::shared_ptr<TavroPackLoader>& which = nullptr) {
        return rt::runToEnd(actor, (which ? which : loader)->refresh(force)).value_or("(did not finish)");
    }
    static std::optional<int> activeVersion() {
        const auto pack = TavroPacks::current();
        return pack ? std::optional<int>(pack->version) : std::nullopt;
    }
    static std::optional<std::string> cached() { return fnd::readFile(TavroPackLoader::cacheURL()); }
    static auto defaults() { return fnd::UserDefaults::standard(); }

    // Accepts version 5 with ETag "e5": the good state every fault must leave alone.
    void acceptFive() {
        serve("com.example.app", {.body = envelope(pack(5)), .etag = "\"e5\""});
        ASSERT_EQ(refresh(true), "Pack 5 active");
    }
};

}  // namespace

TEST_F(PackLoader, AcceptedPackIsCachedAsReceivedAndActivatedAndItsETagSentBack) {
    std::vector<TavroModelSwitch::Family> announced;
    TavroModelSwitch::observe([&](TavroModelSwitch::Family family) { announced.push_back(family); });
    const auto sent = envelope(pack(3));
    serve("com.example.app", {.body = sent, .etag = "\"e3\""});

    EXPECT_EQ(refresh(false), "Pack 3 active");
    EXPECT_EQ(loader->status(), "Pack 3 active");
    EXPECT_EQ(activeVersion(), 3);
    EXPECT_EQ(cached(), sent);
    EXPECT_EQ(defaults()->string(TavroPackLoader::etagKey), "\"e3\"");
    EXPECT_TRUE(defaults()->date(TavroPackLoader::checkedAtKey).has_value());
    ASSERT_FALSE(announced.empty());
    EXPECT_EQ(announced.back(), TavroModelSwitch::Family::off) << "activating the pack re-announces the family";

    EXPECT_EQ(refresh(true), "No change");
    EXPECT_EQ(activeVersion(), 3);
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].path, "/tavro/packs/com.example.app.json");
    EXPECT_EQ(seen[0].header("Accept"), "application/json");
    EXPECT_EQ(seen[0].header("X-Tavro-Install"), "install-42");
    EXPECT_FALSE(seen[0].headers.count("If-None-Match")) << "nothing cached yet";
    EXPECT_EQ(seen[1].header("If-None-Match"), "\"e3\"");
}

TEST_F(PackLoader, DefaultPackIsAskedForWhenTheAppHasNone) {
    serve("default", {.body = envelope(pack(2))});
    EXPECT_EQ(refresh(true), "Pack 2 active");
    EXPECT_EQ(activeVersion(), 2);
    EXPECT_FALSE(defaults()->contains(TavroPackLoader::etagKey)) << "an answer without ETag leaves none stored";

    serve("default", {.status = 404});
    EXPECT_EQ(refresh(true), "No pack for this app");
    EXPECT_EQ(activeVersion(), 2) << "the active pack stays";
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[2].path, "/tavro/packs/com.example.app.json");
    EXPECT_EQ(seen[3].path, "/tavro/packs/default.json");
}

TEST_F(PackLoader, EveryFaultKeepsTheActivePackAndTheCacheAndSaysWhy) {
    acceptFive();
    const auto goodCache = cached();
    const auto checkedAt = defaults()->date(TavroPackLoader::checkedAtKey);
    std::string flippedPack = envelope(pack(6));
    flippedPack[flippedPack.find("\"version\\\": 6") + 12] = '7';
    auto flippedSig = nlohmann::json::parse(envelope(pack(6)));
    auto signature = *crypto::base64Decode(flippedSig["sig"].get<std::string>());
    signature[10] ^= 0x01;
    flippedSig["sig"] = crypto::base64Encode(signature);

    struct Case {
        const char* name;
        Answer answer;
        const char* status;
    };
    const std::vector<Case> cases = {
        {"unknown kid", {.body = envelope(pack(6), "other")}, "Pack refused: the envelope's key id is not a known signing key"},
        {"flipped byte in pack", {.body = flippedPack}, "Pack refused: the signature does not verify"},
        {"flipped byte in sig", {.body = flippedSig.dump()}, "Pack refused: the signature does not verify"},
        {"pack that does not parse", {.body = envelope(R"({"verson": 6})")}, "Pack refused: the signed pack is not a valid pack"},
        {"lower version", {.body = envelope(pack(4))}, "Pack refused: version 4 is older than the active version 5"},
        {"2 MiB body", {.body = std::string(2 * 1024 * 1024, ' ')}, "Pack refused: the envelope is larger than 1 MiB"},
        {"server error", {.status = 500, .body = "oops"}, "Pack check failed: HTTP 500"},
        {"server that never answers", {.delay = 10s}, "Pack check failed: "},
    };
    for (const auto& c : cases) {
        serve("com.example.app", c.answer);
        const auto status = refresh(true);
        EXPECT_EQ(status.rfind(c.status, 0), 0u) << c.name << ": " << status;
        EXPECT_EQ(activeVersion(), 5) << c.name;
        EXPECT_EQ(cached(), goodCache) << c.name;
        EXPECT_EQ(defaults()->string(TavroPackLoader::etagKey), "\"e5\"") << c.name;
        EXPECT_EQ(defaults()->date(TavroPackLoader::checkedAtKey), checkedAt) << c.name << ": the next activation tries again";
    }
    const auto closed = makeLoader("http://127.0.0.1:1", keys);
    EXPECT_EQ(refresh(true, closed).rfind("Pack check failed: ", 0), 0u) << closed->status();
    EXPECT_EQ(activeVersion(), 5);

    const auto plain = makeLoader("http://packs.example.com", keys);
    EXPECT_EQ(refresh(true, plain), "Pack check failed: the pack server address is not HTTPS");
}

TEST_F(PackLoader, ChecksWaitForTheIntervalUnlessForced) {
    acceptFive();
    const auto requests = server.requests();
    EXPECT_EQ(refresh(false), "Checked recently");
    EXPECT_EQ(server.requests(), requests);
    EXPECT_EQ(refresh(true), "No change");
    EXPECT_EQ(server.requests(), requests + 1);

    defaults()->setDate(TavroPackLoader::checkedAtKey, std::chrono::system_clock::now() - 3601s);
    EXPECT_EQ(refresh(false), "No change");
    // A check time ahead of the clock (the clock was set back) must not hold checks off for days.
    defaults()->setDate(TavroPackLoader::checkedAtKey, std::chrono::system_clock::now() + 48h);
    EXPECT_EQ(refresh(false), "No change");
    EXPECT_EQ(server.requests(), requests + 3);
}

TEST_F(PackLoader, CachedPackIsReverifiedAndRemovedWhenTamperedOrRevoked) {
    loader->applyCached();
    EXPECT_EQ(loader->status(), "") << "no cache changes nothing";
    EXPECT_EQ(activeVersion(), std::nullopt);

    acceptFive();
    TavroPacks::reset();
    makeLoader(server.url(), keys)->applyCached();
    EXPECT_EQ(activeVersion(), 5) << "a good cache becomes the active pack";

    TavroPacks::reset();
    auto revoking = makeLoader(server.url(), {{"test-2", keys.at("test-1")}});
    revoking->applyCached();
    EXPECT_EQ(revoking->status(), "Cached pack refused: the envelope's key id is not a known signing key");
    EXPECT_EQ(activeVersion(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(TavroPackLoader::cacheURL()));
    EXPECT_FALSE(defaults()->contains(TavroPackLoader::etagKey));

    acceptFive();
    TavroPacks::reset();
    auto text = *cached();
    text[text.find("\"version\\\": 5") + 12] = '9';
    ASSERT_TRUE(fnd::writeAtomically(TavroPackLoader::cacheURL(), text));
    auto tampered = makeLoader(server.url(), keys);
    tampered->applyCached();
    EXPECT_EQ(tampered->status(), "Cached pack refused: the signature does not verify");
    EXPECT_EQ(activeVersion(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(TavroPackLoader::cacheURL()));
}

TEST_F(PackLoader, AnETagIsKeptOnlyWhenTheCacheHoldsItsEnvelope) {
    std::filesystem::create_directories(TavroPackLoader::cacheURL());  // the cache file cannot be written
    serve("com.example.app", {.body = envelope(pack(1)), .etag = "\"e1\""});
    EXPECT_EQ(refresh(true), "Pack 1 active");
    EXPECT_FALSE(defaults()->contains(TavroPackLoader::etagKey));
    EXPECT_EQ(refresh(true), "Pack 1 active") << "the next check downloads again instead of hearing 'not modified'";
}

TEST_F(PackLoader, OverlappingRefreshesShareOneRequest) {
    serve("com.example.app", {.body = envelope(pack(1)), .delay = 200ms});
    auto first = rt::spawn(loader->refresh(true), actor);
    auto second = rt::spawn(loader->refresh(true), actor);
    actor->runUntilIdle();
    EXPECT_EQ(first.result(), "Pack 1 active");
    EXPECT_EQ(second.result(), "Pack 1 active");
    EXPECT_EQ(server.requests(), 1u);
}

TEST_F(PackLoader, AnAppIDCannotLeaveThePacksFolder) {
    EXPECT_EQ(TavroPackLoader::packURL("https://p.example/", "../x/..?y#z"),
              "https://p.example/tavro/packs/..%2Fx%2F..%3Fy%23z.json");
    const auto escaping = makeLoader(server.url(), keys, "../../admin");
    refresh(true, escaping);
    const auto seen = server.seen();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].target, "/tavro/packs/..%2F..%2Fadmin.json");
    EXPECT_EQ(seen[0].path.rfind("/tavro/packs/", 0), 0u);
}

TEST_F(PackLoader, VerificationRefusesForTheFirstFailingCheck) {
    using Reason = TavroPack::Invalid::Reason;
    const auto reason = [&](const std::string& text, std::optional<int> active = std::nullopt) {
        try {
            TavroPackLoader::verify(text, keys, active);
        } catch (const TavroPack::Invalid& invalid) {
            return std::optional<Reason>(invalid.reason());
        }
        return std::optional<Reason>();
    };
    auto badSignature = nlohmann::json::parse(envelope(pack(1)));
    badSignature["sig"] = crypto::base64Encode("not a signature");
    const std::string unsigned_ = R"({"kid": "test-1", "sig": "", "pack": "{\"version\": 1}"})";

    EXPECT_EQ(reason(std::string(TavroPackLoader::maxEnvelopeBytes + 1, 'x')), Reason::tooLarge);
    EXPECT_EQ(reason(R"({"kid": 1, "sig": "", "pack": ""})"), Reason::malformed);
    EXPECT_EQ(reason(envelope(pack(1), "nobody")), Reason::unknownKey) << "before the signature is looked at";
    EXPECT_EQ(reason(unsigned_), Reason::badSignature);
    EXPECT_EQ(reason(badSignature.dump()), Reason::badSignature);
    EXPECT_EQ(reason(envelope("[1]")), Reason::badPack);
    EXPECT_EQ(reason(envelope(pack(1)), 2), Reason::rollback);
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(reason(R"({"kid": "test-1", "x": )" + deep + "}"), Reason::malformed) << "a nested bomb around the envelope";
    EXPECT_EQ(reason(envelope(R"({"version": 1, "x": )" + deep + "}")), Reason::badPack) << "and inside the signed pack";
    EXPECT_EQ(reason(envelope(pack(2)), 2), std::nullopt) << "the same version is no rollback";
    keys["test-1"] = "-----BEGIN PUBLIC KEY-----\nMFkw\n-----END PUBLIC KEY-----\n";
    EXPECT_EQ(reason(envelope(pack(1))), Reason::badKey);
}

TEST(PackEnvelope, AnEnvelopeMadeWithTheOpenSSLCommandLineVerifies) {
    // Made as the maker does: openssl ecparam/ec for the key, openssl dgst -sha256 -sign over the
    // pack file, base64 of the signature, and jq --rawfile to carry the file's exact bytes.
    const std::map<std::string, std::string> keys{
        {"maker-1",
         "-----BEGIN PUBLIC KEY-----\n"
         "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE8Fli9mC7iE4wfM1KCF4h/QV+3LNR\n"
         "3p4riUBqmTHaaj2SrZ3Xqag3xgXOgzfTr6aJEKL+pJnTkQ4Ynmgsjs8FAw==\n"
         "-----END PUBLIC KEY-----\n"}};
    const std::string envelope = R"({
  "kid": "maker-1",
  "sig": "MEYCIQC+3GJWH+ED/Pfb/HYLw9fDcp0OZodnxxqwpgDW1KxfqwIhAIbJnODOa0qo8kSao8sse3qJK1ObzHsPvBsD7rYdHG0e",
  "pack": "{\"version\": 7, \"maxSteps\": 20, \"notes\": [\"Settings are under Profile.\"], \"verbs\": {\"hit\": \"tap\"}, \"rewrites\": [{\"pattern\": \"^dm (\\\\w+)$\", \"template\": \"send a message to $1\"}]}"
})";
    const auto pack = TavroPackLoader::verify(envelope, keys, std::nullopt);
    EXPECT_EQ(pack.version, 7);
    EXPECT_EQ(pack.maxSteps, 20);
    EXPECT_EQ(pack.rewrite("dm Tuli"), "send a message to Tuli");
}

TEST_F(PackLoader, AHostileCacheIsRefusedAndRemovedWithoutBlockingAndTheNextCheckDownloads) {
    acceptFive();
    const auto good = *cached();
    const auto cache = TavroPackLoader::cacheURL();
    const std::filesystem::path elsewhere = cache.parent_path() / "elsewhere.json";
    struct Case {
        const char* name;
        std::function<void()> plant;
    };
    const std::vector<Case> cases = {
        {"directory", [&] { std::filesystem::create_directories(cache / "inside"); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(cache.c_str(), 0600), 0); }},
        {"512 MB file",
         [&] {
             ASSERT_TRUE(fnd::writeAtomically(cache, good));
             ASSERT_EQ(::truncate(cache.c_str(), 512L * 1024 * 1024), 0);
         }},
        {"link to a good envelope",
         [&] {
             ASSERT_TRUE(fnd::writeAtomically(elsewhere, good));
             std::filesystem::create_symlink(elsewhere, cache);
         }},
        {"nested bomb", [&] { ASSERT_TRUE(fnd::writeAtomically(cache, std::string(300000, '[') + std::string(300000, ']'))); }},
    };
    for (const auto& c : cases) {
        std::error_code ignored;
        std::filesystem::remove(cache, ignored);
        ASSERT_TRUE(defaults()->setString(TavroPackLoader::etagKey, "\"e5\""));
        TavroPacks::reset();
        c.plant();
        const auto fresh = makeLoader(server.url("/"), keys);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NO_THROW(fresh->applyCached()) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << c.name;
        EXPECT_EQ(fresh->status().rfind("Cached pack refused", 0), 0u) << c.name << ": " << fresh->status();
        EXPECT_EQ(activeVersion(), std::nullopt) << c.name;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(cache))) << c.name;
        EXPECT_FALSE(defaults()->contains(TavroPackLoader::etagKey)) << c.name;
        EXPECT_EQ(refresh(true, fresh), "Pack 5 active") << c.name << ": downloaded again, not 'No change'";
        EXPECT_EQ(cached(), good) << c.name;
    }
    EXPECT_EQ(fnd::readFile(elsewhere), good) << "what a link named is left alone";
}

TEST_F(PackLoader, AnOlderEnvelopePutBackIntoTheCacheIsRefusedAndItsETagDropped) {
    const auto three = envelope(pack(3));
    serve("com.example.app", {.body = three, .etag = "\"e3\""});
    ASSERT_EQ(refresh(true), "Pack 3 active");
    serve("com.example.app", {.body = envelope(pack(8)), .etag = "\"e8\""});
    ASSERT_EQ(refresh(true), "Pack 8 active");

    // The next launch finds version 3's envelope restored from a backup.
    ASSERT_TRUE(fnd::writeAtomically(TavroPackLoader::cacheURL(), three));
    TavroPacks::reset();
    fnd::UserDefaults::resetStandard();
    const auto relaunched = makeLoader(server.url("/"), keys);
    relaunched->applyCached();
    EXPECT_EQ(relaunched->status(), "Cached pack refused: version 3 is older than the active version 8");
    EXPECT_EQ(activeVersion(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(TavroPackLoader::cacheURL()));
    EXPECT_FALSE(defaults()->contains(TavroPackLoader::etagKey));
    EXPECT_EQ(refresh(true, relaunched), "Pack 8 active");
    EXPECT_FALSE(server.seen().back().headers.count("If-None-Match"));

    // The same version again is no rollback.
    TavroPacks::reset();
    makeLoader(server.url("/"), keys)->applyCached();
    EXPECT_EQ(activeVersion(), 8);
}

TEST_F(PackLoader, AForcedRefreshNeverJoinsACheckThatSendsNothing) {
    acceptFive();
    const auto requests = server.requests();
    // As at launch: the unforced check has started, and the host asks to check now.
    auto unforced = rt::spawn(loader->refresh(false), actor);
    auto forced = rt::spawn(loader->refresh(true), actor);
    actor->runUntilIdle();
    EXPECT_EQ(unforced.result(), "Checked recently");
    EXPECT_EQ(forced.result(), "No change");
    EXPECT_EQ(server.requests(), requests + 1);

    // An unforced refresh still joins a forced check already on its way.
    serve("com.example.app", {.body = envelope(pack(6)), .delay = 200ms});
    auto sending = rt::spawn(loader->refresh(true), actor);
    auto joining = rt::spawn(loader->refresh(false), actor);
    actor->runUntilIdle();
    EXPECT_EQ(sending.result(), "Pack 6 active");
    EXPECT_EQ(joining.result(), "Pack 6 active");
    EXPECT_EQ(server.requests(), requests + 2);
}

TEST_F(PackLoader, ARetiredLoaderKeepsNothingOfAnAnswerThatComesLate) {
    // The app it served is gone (the next one has its own root and defaults by then): the answer
    // to its last request must not become the active pack nor be written anywhere.
    serve("com.example.app", {.body = envelope(pack(5)), .etag = "\"e5\"", .delay = 200ms});
    auto late = rt::spawn(loader->refresh(true), actor);
    actor->runFor(1ms);
    ASSERT_TRUE(server.waitForRequests(1));
    loader->retire();
    actor->runUntilIdle();
    EXPECT_FALSE(activeVersion());
    EXPECT_FALSE(cached());
    EXPECT_FALSE(defaults()->contains(TavroPackLoader::versionKey));
    EXPECT_FALSE(defaults()->contains(TavroPackLoader::etagKey));
    EXPECT_EQ(refresh(true), "") << "nothing more is asked";
    EXPECT_EQ(server.requests(), 1u);
}

TEST_F(PackLoader, TheInstallIdIsNotSentToAnotherHostARedirectNames) {
    serve("com.example.app", {.location = "http://localhost:" + std::to_string(server.port()) + "/tavro/packs/moved.json"});
    serve("moved", {.body = envelope(pack(1))});
    EXPECT_EQ(refresh(true), "Pack 1 active");
    serve("com.example.app", {.location = "/tavro/packs/moved.json"});
    EXPECT_EQ(refresh(true), "Pack 1 active");
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].header("X-Tavro-Install"), "install-42");
    EXPECT_EQ(seen[1].path, "/tavro/packs/moved.json");
    EXPECT_FALSE(seen[1].headers.count("X-Tavro-Install")) << "the redirect left the pack server's host";
    EXPECT_EQ(seen[3].header("X-Tavro-Install"), "install-42") << "a redirect on the same server keeps it";
}

namespace {

// While it lives no file can be opened: the soft limit on open files is set to the lowest free
// descriptor, so that an open fails with "too many open files" (which no privilege overrides).
class NoFreeDescriptors {
public:
    NoFreeDescriptors() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowest);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowest);
        active_ = lowest >= 0 && ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~NoFreeDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;
    bool active() const { return active_; }

private:
    rlimit saved_{};
    bool active_ = false;
};

}  // namespace

TEST_F(PackLoader, ACacheThatCannotBeReadForTheMomentIsKeptWithItsETag) {
    acceptFive();
    const auto good = *cached();
    TavroPacks::reset();
    const auto relaunched = makeLoader(server.url("/"), keys);
    {
        NoFreeDescriptors exhausted;
        ASSERT_TRUE(exhausted.active());
        relaunched->applyCached();
    }
    EXPECT_EQ(relaunched->status().rfind("Cached pack not applied: ", 0), 0u) << relaunched->status();
    EXPECT_NE(relaunched->status().find("Too many open files"), std::string::npos) << relaunched->status();
    EXPECT_EQ(activeVersion(), std::nullopt);
    EXPECT_EQ(cached(), good) << "the envelope stays";
    EXPECT_EQ(defaults()->string(TavroPackLoader::etagKey), "\"e5\"") << "and so does its ETag";

    // Readable again (the next launch): the same cache applies.
    makeLoader(server.url("/"), keys)->applyCached();
    EXPECT_EQ(activeVersion(), 5);

    // With no pack active, a check asks for the pack whole rather than hearing "not modified".
    TavroPacks::reset();
    {
        NoFreeDescriptors exhausted;
        relaunched->applyCached();
    }
    EXPECT_EQ(refresh(true, relaunched), "Pack 5 active");
    EXPECT_FALSE(server.seen().back().headers.count("If-None-Match"));
    EXPECT_EQ(cached(), good);
}
