#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <string>
#include <vector>

#include "platform/web/BrowserPage.h"
#include "platform/web/PageScript.h"
#include "platform/web/WebTestSupport.h"

using namespace std::chrono_literals;
using namespace webtest;
using nlohmann::json;

namespace {

bool processGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

bool waitGone(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (processGone(pid)) return true;
        std::this_thread::sleep_for(20ms);
    }
    return processGone(pid);
}

struct NoEngine : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    ~NoEngine() override { web::BrowserEngine::setProgram(""); }
};

}  // namespace

TEST_F(NoEngine, AddressesOtherThanWebOrFileAreRefusedBeforeTheEngine) {
    for (const char* url : {"javascript:alert(1)", "data:text/html,<b>x</b>", "chrome://settings", "ftp://example.org/",
                            "about:config", "file:relative", "http:/one-slash", "example.org"}) {
        auto view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
        int told = 0;
        view->addLoadObserver([&](ui::WebView&) { ++told; });
        view->load(url);
        EXPECT_FALSE(view->isLoading()) << url;
        actor->runUntilIdle();
        EXPECT_EQ(told, 1) << url;
        EXPECT_EQ(view->loadError(), "failed: the browser opens only http, https and file addresses") << url;
    }
    for (const char* url : {"http://127.0.0.1:8080/a", "HTTPS://example.org", "file:///tmp/page.html", "about:blank"}) {
        EXPECT_TRUE(ui::WebView::isLoadable(url)) << url;
    }
}

TEST_F(NoEngine, WithoutChromiumALoadFailsAtOnceWithOneClearLine) {
    web::BrowserEngine::setProgram("/nonexistent/chromium");
    auto view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    bool ended = false;
    view->addLoadObserver([&](ui::WebView&) { ended = true; });
    view->load("https://example.org/");
    EXPECT_TRUE(view->isLoading());
    actor->runUntilIdle();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->loadError(), "failed: no browser engine: install the chromium package");
    const auto answer = rt::runToEnd(actor, view->evaluate("1 + 1"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(answer->value);
    EXPECT_EQ(answer->error, "no browser engine: install the chromium package");
}

using ChromiumEngine = ChromiumTest;

TEST_F(ChromiumEngine, AnswersCommandsAndReportsProtocolErrors) {
    auto engine = web::BrowserEngine::shared();
    ASSERT_TRUE(engine);
    const auto version = run(engine->call("Browser.getVersion", json::object()));
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->error, "");
    EXPECT_NE(version->result.value("product", std::string()).find("Chrom"), std::string::npos);
    EXPECT_GT(engine->startupTime().count(), 0);

    const auto unknown = run(engine->call("No.suchMethod", json::object()));
    ASSERT_TRUE(unknown.has_value());
    EXPECT_NE(unknown->error, "") << "a protocol error comes back as an error text";
}

TEST_F(ChromiumEngine, LoadsAPageAndRunsScriptsInIt) {
    server.add("/hello", "<title>Hello</title><p>Hi there</p><a href='/next'>Next</a>");
    auto view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    ASSERT_TRUE(load(*view, server.url("/hello")));
    EXPECT_EQ(view->loadError(), "");
    EXPECT_EQ(view->title(), "Hello");
    EXPECT_FALSE(view->isLoading());
    const auto sum = run(view->evaluate("[1 + 1, location.pathname]"));
    ASSERT_TRUE(sum.has_value());
    EXPECT_EQ(sum->value, json::array({2, "/hello"}));
    const auto thrown = run(view->evaluate("(() => { throw new Error('broken\\nsecond line'); })()"));
    ASSERT_TRUE(thrown.has_value());
    EXPECT_FALSE(thrown->value);
    EXPECT_EQ(thrown->error, "Error: broken");
    const auto page = run(view->evaluate("tavro.read()"));
    ASSERT_TRUE(page.has_value() && page->value);
    EXPECT_EQ((*page->value)["title"], "Hello");
    EXPECT_EQ((*page->value)["elements"].size(), 1u);
}

// The page scripts are JavaScript files of their own: the engine parses each as it stands, so a
// syntax error names itself here rather than as a page that reads empty.
TEST_F(ChromiumEngine, ParsesEachPageScriptAsItsOwnSource) {
    server.add("/blank", "<title>Blank</title>");
    auto view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    ASSERT_TRUE(load(*view, server.url("/blank")));
    for (const std::string_view source : {web::pageScript(), web::bridgeScript()}) {
        ASSERT_GT(source.size(), 500u);
        const auto parsed = run(view->evaluate("(() => { try { new Function(" + json(std::string(source)).dump() +
                                               "); return 'parsed'; } catch (e) { return String(e); } })()"));
        ASSERT_TRUE(parsed.has_value() && parsed->value);
        EXPECT_EQ(*parsed->value, "parsed");
    }
    const auto broken = run(view->evaluate("(() => { try { new Function('const a = ;'); return 'parsed'; } "
                                           "catch (e) { return e.name; } })()"));
    ASSERT_TRUE(broken.has_value() && broken->value);
    EXPECT_EQ(*broken->value, "SyntaxError");
}

TEST_F(ChromiumEngine, AnAnswerNestedTooDeeplyIsAClearFailure) {
    server.add("/deep", "<title>Deep</title><p>Deep</p>");
    auto view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    ASSERT_TRUE(load(*view, server.url("/deep")));
    const auto deep = run(view->evaluate("(() => { let a = []; for (let i = 0; i < 5000; i++) a = [a]; return a; })()"));
    ASSERT_TRUE(deep.has_value());
    EXPECT_FALSE(deep->value) << "a value nested 5,000 deep is not handed on";
    EXPECT_NE(deep->error.find("nested too deeply"), std::string::npos) << deep->error;
    // Nesting a real page needs still comes through, and the page answers on.
    const auto shallow = run(view->evaluate("(() => { let a = [1]; for (let i = 0; i < 40; i++) a = [a]; return a; })()"));
    ASSERT_TRUE(shallow.has_value() && shallow->value);
    EXPECT_TRUE(shallow->value->is_array());
    const auto page = run(view->evaluate("tavro.read()"));
    ASSERT_TRUE(page.has_value() && page->value);
    EXPECT_EQ((*page->value)["title"], "Deep");
}

TEST_F(ChromiumEngine, AnUnreachableAddressFailsTheLoad) {
    auto view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    ASSERT_TRUE(load(*view, "http://127.0.0.1:1/"));
    EXPECT_TRUE(view->loadError().starts_with("failed: the page could not be loaded: net::ERR_")) << view->loadError();
    EXPECT_FALSE(view->isLoading());
}

TEST_F(ChromiumEngine, ABrowserThatDiesFailsItsPageAndTheNextLoadStartsAnother) {
    server.add("/mortal", "<title>Mortal</title>");
    auto view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    ASSERT_TRUE(load(*view, server.url("/mortal")));
    auto engine = web::BrowserEngine::shared();
    ASSERT_TRUE(engine);
    const pid_t pid = engine->pid();
    ::kill(pid, SIGKILL);
    EXPECT_TRUE(actor->runUntil([&] { return !engine->running(); }, patience)) << "the reader notices the browser has gone";
    const auto answer = run(view->evaluate("1"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->error, "the browser engine stopped");
    engine.reset();
    ASSERT_TRUE(load(*view, server.url("/mortal")));
    EXPECT_EQ(view->loadError(), "");
    EXPECT_EQ(view->title(), "Mortal");
    const auto next = web::BrowserEngine::shared();
    ASSERT_TRUE(next);
    EXPECT_NE(next->pid(), pid);
}

// In a process of its own (the fixture keeps an engine for the whole program): two views share one
// browser, which ends when the last of them goes. Run by TheBrowserEndsWithItsLastWebView only.
TEST(ChromiumEngineAlone, LastViewEndsTheBrowser) {
    if (!std::getenv("TAVRO_BROWSER_ALONE")) GTEST_SKIP() << "run by TheBrowserEndsWithItsLastWebView";
    auto actor = rt::MainActor::create(rt::ClockKind::real);
    rt::MainActor::Scope scope(actor);
    auto first = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    auto second = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    int ended = 0;
    for (auto* view : {&first, &second}) {
        (*view)->addLoadObserver([&](ui::WebView&) { ++ended; });
        (*view)->load("about:blank");
    }
    ASSERT_TRUE(actor->runUntil([&] { return ended == 2; }, ChromiumTest::patience));
    pid_t pid = 0;
    {
        const auto engine = web::BrowserEngine::shared();
        ASSERT_TRUE(engine);
        pid = engine->pid();
        EXPECT_GE(engine.use_count(), 3) << "both pages hold the one engine";
    }
    first.reset();
    EXPECT_FALSE(waitGone(pid, 300ms)) << "the browser stays while a view is left";
    second.reset();
    EXPECT_TRUE(waitGone(pid, 15000ms)) << "the last view took the browser with it";
}

TEST_F(ChromiumEngine, TheBrowserEndsWithItsLastWebView) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    const std::string command = "TAVRO_BROWSER_ALONE=1 '" + self + "' --gtest_filter=ChromiumEngineAlone.* 2>&1";
    FILE* out = ::popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string output;
    char line[512];
    while (std::fgets(line, sizeof line, out)) output += line;
    EXPECT_EQ(::pclose(out), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

// Starts the browser, prints its process id and waits to be killed (run by the next test only).
TEST_F(ChromiumEngine, HostForTheOrphanCheck) {
    if (!std::getenv("TAVRO_BROWSER_HOST")) GTEST_SKIP() << "run by DiesWithTheHostProcess";
    auto view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    ASSERT_TRUE(load(*view, "about:blank"));
    const auto engine = web::BrowserEngine::shared();
    ASSERT_TRUE(engine);
    std::printf("browser=%d\nprofile=%s\n", static_cast<int>(engine->pid()), engine->profile().c_str());
    std::fflush(stdout);
    if (std::string(std::getenv("TAVRO_BROWSER_HOST")) != "once") std::this_thread::sleep_for(30s);
}

TEST_F(ChromiumEngine, DiesWithTheHostProcess) {
    if (std::getenv("TAVRO_BROWSER_HOST")) GTEST_SKIP();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    const std::string command = "TAVRO_BROWSER_HOST=1 '" + self +
                                "' --gtest_filter=ChromiumEngine.HostForTheOrphanCheck & echo host=$!";
    FILE* out = ::popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    pid_t host = 0, browser = 0;
    char line[512];
    while ((host == 0 || browser == 0) && std::fgets(line, sizeof line, out)) {
        std::sscanf(line, "host=%d", &host);
        std::sscanf(line, "browser=%d", &browser);
    }
    ASSERT_GT(host, 0);
    ASSERT_GT(browser, 0);
    EXPECT_FALSE(processGone(browser));
    ::kill(host, SIGKILL);  // no destructor runs: only the kernel can end the browser now
    EXPECT_TRUE(waitGone(browser, 15000ms)) << "no browser is left behind by a killed host";
    ::pclose(out);
}

TEST_F(ChromiumEngine, TheNextStartRemovesTheProfileAKilledHostLeftBehind) {
    if (std::getenv("TAVRO_BROWSER_HOST")) GTEST_SKIP();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    const auto host = [&](const char* mode, bool background) {
        const std::string command = std::string("TAVRO_BROWSER_HOST=") + mode + " '" + self +
                                    "' --gtest_filter=ChromiumEngine.HostForTheOrphanCheck" + (background ? " & echo host=$!" : "");
        return ::popen(command.c_str(), "r");
    };
    const auto profileOf = [](FILE* out, pid_t* pid, pid_t* browser) {
        char line[4096];
        char path[4096] = {0};
        while (path[0] == 0 && std::fgets(line, sizeof line, out)) {
            if (pid) std::sscanf(line, "host=%d", pid);
            if (browser) std::sscanf(line, "browser=%d", browser);
            std::sscanf(line, "profile=%4095s", path);
        }
        return std::filesystem::path(path);
    };
    FILE* killed = host("1", true);
    ASSERT_NE(killed, nullptr);
    pid_t pid = 0, browser = 0;
    const auto left = profileOf(killed, &pid, &browser);
    ASSERT_GT(pid, 0);
    ASSERT_GT(browser, 0);
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left.parent_path(), web::BrowserEngine::profileFolder());
    ASSERT_TRUE(std::filesystem::exists(left));
    ::kill(pid, SIGKILL);
    ::pclose(killed);
    // Its browser follows it; what that browser's helpers still write as they go is not ours to race.
    ASSERT_TRUE(waitGone(browser, 15000ms));
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(std::filesystem::exists(Shared::get().engine->profile())) << "this host's own profile";

    FILE* next = host("once", false);
    ASSERT_NE(next, nullptr);
    const auto own = profileOf(next, nullptr, nullptr);
    EXPECT_EQ(::pclose(next), 0);
    EXPECT_FALSE(std::filesystem::exists(left)) << "the next start removed the dead host's profile";
    EXPECT_FALSE(own.empty());
    EXPECT_FALSE(std::filesystem::exists(own)) << "a host that ends removes its own";
    EXPECT_TRUE(std::filesystem::exists(Shared::get().engine->profile())) << "a live host's profile stays";
}

namespace {

// A temporary folder of a test's own that a host process started by the test takes as its TMPDIR
// (where the browsers' profile folder is) and HOME: the test sets up the profile folder's
// conditions there before the host starts its browser.
struct HostFolder {
    std::filesystem::path root;
    std::filesystem::path folder;  // what the host's profile folder is

    HostFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavro-host-test-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        std::filesystem::create_directories(root / "home");
        folder = root / ("tavro-browser-" + std::to_string(::getuid()));
    }
    ~HostFolder() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    // Runs the host (at most 40 s): it starts the browser, prints its profile and ends. Its profile.
    std::filesystem::path runHost(int& status, std::string& output) const {
        const std::string self = std::filesystem::read_symlink("/proc/self/exe");
        const std::string command = "env -u XDG_CONFIG_HOME TMPDIR='" + root.string() + "' HOME='" + (root / "home").string() +
                                    "' TAVRO_BROWSER_HOST=once timeout 40 '" + self +
                                    "' --gtest_filter=ChromiumEngine.HostForTheOrphanCheck 2>&1";
        FILE* out = ::popen(command.c_str(), "r");
        if (!out) return {};
        char line[4096];
        std::string profile;
        while (std::fgets(line, sizeof line, out)) {
            output += line;
            char path[4096] = {0};
            if (std::sscanf(line, "profile=%4095s", path) == 1) profile = path;
        }
        status = ::pclose(out);
        return profile;
    }
};

struct stat statOf(const std::filesystem::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

}  // namespace

TEST_F(ChromiumEngine, AFifoAtAProfilesLockDoesNotHoldUpTheStart) {
    if (std::getenv("TAVRO_BROWSER_HOST")) GTEST_SKIP();
    HostFolder host;
    std::filesystem::create_directories(host.folder / "profile-stale");
    std::filesystem::permissions(host.folder, std::filesystem::perms::owner_all);
    ASSERT_EQ(::mkfifo((host.folder / "profile-stale" / "host.lock").c_str(), 0600), 0);
    int status = -1;
    std::string output;
    const auto profile = host.runHost(status, output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(std::filesystem::path(profile).parent_path(), host.folder) << output;
}

TEST_F(ChromiumEngine, AProfileFolderThatIsALinkIsNeverFollowed) {
    if (std::getenv("TAVRO_BROWSER_HOST")) GTEST_SKIP();
    HostFolder host;
    // Someone else's folder, with what looks like a dead host's profile in it.
    const auto victim = host.root / "victim";
    std::filesystem::create_directories(victim / "profile-theirs");
    std::ofstream(victim / "profile-theirs" / "host.lock") << "";
    std::ofstream(victim / "profile-theirs" / "data") << "keep me";
    ::chmod(victim.c_str(), 0755);
    std::filesystem::create_directory_symlink(victim, host.folder);
    int status = -1;
    std::string output;
    const auto profile = host.runHost(status, output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(std::filesystem::exists(victim / "profile-theirs" / "data")) << "nothing was removed through the link";
    EXPECT_EQ(statOf(victim).st_mode & 07777, 0755u) << "the linked folder's mode is unchanged";
    ASSERT_FALSE(profile.empty()) << output;
    const auto parent = std::filesystem::path(profile).parent_path();
    EXPECT_FALSE(S_ISLNK(statOf(parent).st_mode));
    EXPECT_NE(statOf(parent).st_ino, statOf(victim).st_ino) << "the profile was not made in the linked folder";
}

TEST_F(ChromiumEngine, AProfileFolderOthersMayWriteInIsNotUsed) {
    if (std::getenv("TAVRO_BROWSER_HOST")) GTEST_SKIP();
    HostFolder host;
    std::filesystem::create_directories(host.folder / "profile-planted");
    ::chmod(host.folder.c_str(), 0777);
    if (::geteuid() == 0) ASSERT_EQ(::chown(host.folder.c_str(), 65534, 65534), 0);  // made by another user
    const auto planted = statOf(host.folder);
    int status = -1;
    std::string output;
    const auto profile = host.runHost(status, output);
    EXPECT_EQ(status, 0) << output;
    ASSERT_FALSE(profile.empty()) << output;
    const auto parent = statOf(std::filesystem::path(profile).parent_path());
    EXPECT_NE(parent.st_ino, planted.st_ino) << "the profile was not made in a folder others may write in";
    EXPECT_EQ(parent.st_uid, ::geteuid());
    EXPECT_EQ(parent.st_mode & 077, 0u);
}

TEST_F(ChromiumEngine, TheBrowserWritesNothingOutsideItsProfile) {
    if (std::getenv("TAVRO_BROWSER_HOST")) GTEST_SKIP();
    HostFolder host;
    int status = -1;
    std::string output;
    const auto profile = host.runHost(status, output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_FALSE(profile.empty()) << output;
    EXPECT_FALSE(std::filesystem::exists(host.root / "home" / ".config" / "chromium"))
        << "no crash reports or settings in the user's own Chromium folder";
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(host.root)) {
        if (!entry.path().string().starts_with(host.folder.string())) left.push_back(entry.path().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{(host.root / "home").string()}) << "nothing in the home or temporary folder";
}
