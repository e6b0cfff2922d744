// The agent working in the in-app browser on real pages, through its public API, in real time and
// on the virtual clock the demo runs on.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "platform/web/WebTestSupport.h"
#include "tavro/agent/AgentTestSupport.h"
#include "tavro/surfaces/WebSurface.h"

using namespace std::chrono_literals;
using namespace tavro;
using namespace tavro::agenttest;

namespace {

struct ChromiumAgentBase : AgentTest {
    webtest::PageServer& server = webtest::ChromiumTest::sharedServer();
    std::shared_ptr<ui::WebView> view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    std::shared_ptr<QuickPresenter> presenter = std::make_shared<QuickPresenter>();

    void SetUp() override {
        AgentTest::SetUp();
        TAVRO_NEEDS_BROWSER();
        presenter->web = std::make_shared<WebSurface>(view);
        presenter->web->setSearchBase(server.url("/search?q="));
    }

    // An agent on an empty native app whose presenter opens this fixture's browser.
    std::shared_ptr<TavroAgent> browserAgent(TavroConfiguration c, std::shared_ptr<TavroMemory> memory = nullptr) {
        auto agent = makeAgent(std::make_shared<FakeSurface>(), std::move(c), std::move(memory));
        agent->presenter = presenter;
        return agent;
    }

    std::string pageText(const std::string& selector) {
        const auto answer = rt::runToEnd(rt::MainActor::shared(),
                                        view->evaluate("document.querySelector('" + selector + "').textContent"),
                                        webtest::ChromiumTest::patience);
        return answer && answer->value && answer->value->is_string() ? answer->value->get<std::string>() : "";
    }
};

struct ChromiumAgent : ChromiumAgentBase {
    std::shared_ptr<rt::MainActor> real = rt::MainActor::create(rt::ClockKind::real);
    rt::MainActor::Scope realScope{real};

    TavroRunReport runInRealTime(const std::shared_ptr<TavroAgent>& agent, std::string goal) {
        auto report = rt::runToEnd(real, agent->runAndWait(std::move(goal), 60), 60s);
        EXPECT_TRUE(report.has_value()) << "the run ended";
        return report.value_or(TavroRunReport{});
    }
};

// The fixture's own virtual-clock actor, as the demo runs by default.
using ChromiumAgentOnVirtualClock = ChromiumAgentBase;

// A loopback address nothing listens on.
std::string closedAddress() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
}

}  // namespace

TEST_F(ChromiumAgent, RunsAGoalOnARealPageFromItsAddressToTheResult) {
    server.add("/chat", R"(<title>Chat</title>
<input aria-label="Message"> <button id="send">Send</button>
<p id="sent"></p>
<script>
  document.querySelector('#send').addEventListener('click', () => {
    document.querySelector('#sent').textContent = 'Sent: ' + document.querySelector('input').value;
  });
</script>)");
    auto agent = browserAgent(unattended());
    const auto report = runInRealTime(agent, "open " + server.url("/chat") + " then type hello into Message then tap Send");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(agent->activeSurface(), presenter->web);
    EXPECT_EQ(pageText("#sent"), "Sent: hello") << "the page shows what the agent did";
    ASSERT_GE(report.steps.size(), 3u);
    EXPECT_EQ(std::count_if(report.steps.begin(), report.steps.end(), [](const auto& s) { return s.ok; }),
              static_cast<long>(report.steps.size()));
}

TEST_F(ChromiumAgent, ASearchOpensTheSearchAddress) {
    server.add("/search", "<title>Results</title><p>Results</p>");
    auto agent = browserAgent(unattended());
    const auto report = runInRealTime(agent, "search the web for red shoes");
    EXPECT_EQ(presenter->count("showWeb"), 1) << report.stepsText();
    EXPECT_TRUE(view->url().starts_with(server.url("/search?q=red%20shoes"))) << view->url();
    const auto requests = server.requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "/search?q=red shoes"), requests.end());
}

TEST_F(ChromiumAgent, ATapLandsOnTheButtonNamedEvenWhenThePageShiftsOnTheFirstMove) {
    server.add("/sub", webtest::shiftingSubscriptionPage);
    // The default approval policy: cancelling would ask first; keeping does not need to.
    auto agent = browserAgent(configuration());
    const auto report = runInRealTime(agent, "open " + server.url("/sub") + " then tap Keep subscription");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(pageText("#out"), "SUBSCRIPTION KEPT");
}

TEST_F(ChromiumAgent, ARunEndsAtItsTimeoutWhileThePageHoldsUpTheReading) {
    server.add("/stuck", R"(<title>Stuck</title><button>Later</button>
<script>setTimeout(() => { const end = Date.now() + 30000; while (Date.now() < end) {} }, 100);</script>)");
    auto agent = browserAgent(unattended());
    const auto start = std::chrono::steady_clock::now();
    auto report = rt::runToEnd(real, agent->runAndWait("open " + server.url("/stuck") + " then tap Later", 4), 60s);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(report.has_value());
    EXPECT_FALSE(report->ok);
    EXPECT_LT(took, 7s) << "the run ended at its timeout, not when the page let go";
}

TEST_F(ChromiumAgentOnVirtualClock, ReadsAndPressesARealPageThatTakesRealTimeToLoad) {
    // The button comes only after a script the server sends 600 ms late.
    server.add("/pin", R"(<title>Notes</title><p>Groceries</p>
<script src="/slow"></script>
<button id="pin">Pin note</button><p id="out"></p>
<script>pin.onclick = () => out.textContent = 'Pinned';</script>)");
    auto agent = browserAgent(unattended());
    const auto report = runGoal(agent, "open " + server.url("/pin") + " then tap Pin note", 120);
    EXPECT_TRUE(report.ok) << report.stepsText() << "\n" << report.status;
    EXPECT_EQ(pageText("#out"), "Pinned");
}

TEST_F(ChromiumAgentOnVirtualClock, APageThatCannotBeLoadedIsAFailedStepAndTheRunIsNotDone) {
    const std::string address = closedAddress();
    auto agent = browserAgent(unattended());
    const auto report = runGoal(agent, "open " + address, 120);
    EXPECT_FALSE(report.ok) << report.stepsText();
    ASSERT_FALSE(report.steps.empty());
    EXPECT_EQ(report.steps[0], (TavroRunReport::Step{"Open a browser for “" + address + "”", false}));
    EXPECT_NE(report.status.find("the page could not be loaded: net::ERR_CONNECTION_REFUSED"), std::string::npos)
        << report.status;
    EXPECT_EQ(agent->activeSurface(), presenter->web) << "the browser shows the failure";
}

TEST_F(ChromiumAgentOnVirtualClock, AModelReadsThePageThatCouldNotBeLoadedAndDecides) {
    const std::string address = closedAddress();
    auto script = std::make_shared<Script>();
    script->replies = {reply("openWeb", std::nullopt, address), reply("fail", std::nullopt, "The site is down.")};
    auto agent = browserAgent(unattended({scriptedModel("M", script)}));
    const auto report = runGoal(agent, "find the opening hours on the shop's site", 120);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.status, "The site is down.");
    ASSERT_EQ(script->decideCalls(), 2) << report.stepsText();
    const std::string& seen = script->prompts[1].second;
    EXPECT_NE(seen.find("the page could not be loaded: net::ERR_CONNECTION_REFUSED"), std::string::npos) << seen;
    EXPECT_NE(seen.find("→ failed: the page could not be loaded"), std::string::npos) << "the history tells the step failed";
}

// A press the page turns into another never ends the run done with the other done.
TEST_F(ChromiumAgent, ATapOnAButtonRenamedUnderThePointerPressesNothingAndTheRunFails) {
    server.add("/drafts", webtest::renamingPage);
    auto agent = browserAgent(configuration());
    const auto report = runInRealTime(agent, "open " + server.url("/drafts") + " then tap Save draft");
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(pageText("#out"), "") << "the account is not deleted";
    EXPECT_NE(report.status.find("now reads “Delete account”"), std::string::npos) << report.status;
}

TEST_F(ChromiumAgent, ATapOnARowPressesNoControlThatAppearsInsideIt) {
    server.add("/notes", webtest::rowsPage);
    auto agent = browserAgent(configuration());
    const auto report = runInRealTime(agent, "open " + server.url("/notes") + " then tap Meeting notes");
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(pageText("#out"), "") << "the notes are not deleted";
}

TEST_F(ChromiumAgent, ALayerThatComesUpAsTheButtonGoesDownConfirmsNothing) {
    server.add("/wishlist", webtest::wishlistPage);
    auto agent = browserAgent(configuration());
    const auto report = runInRealTime(agent, "open " + server.url("/wishlist") + " then tap Add to wishlist");
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(pageText("#out"), "") << "nothing was bought";
}

TEST_F(ChromiumAgent, ALongPressThatOpensAMenuIsDoneWithNothingInTheMenuChosen) {
    server.add("/photos", webtest::photoPage);
    auto agent = browserAgent(configuration());
    const auto report = runInRealTime(agent, "open " + server.url("/photos") + " then long press Beach photo");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(pageText("#menu > div"), "Delete photo") << "the menu is open";
    EXPECT_EQ(pageText("#out"), "") << "the photo is not deleted";
}

TEST_F(ChromiumAgent, TypingThatTheFieldRefusesIsAFailedStep) {
    server.add("/transfer", webtest::fieldsPage);
    for (const char* goal : {"type 250 into Amount", "type Osaka into City", "type hello into Comment"}) {
        auto agent = browserAgent(unattended());
        const auto report = runInRealTime(agent, "open " + server.url("/transfer") + " then " + goal);
        EXPECT_FALSE(report.ok) << goal << "\n" << report.stepsText();
    }
    auto agent = browserAgent(unattended());
    const auto report = runInRealTime(agent, "open " + server.url("/transfer") + " then type 5551234567 into Phone");
    EXPECT_TRUE(report.ok) << report.stepsText();
}

namespace {

// A loopback address that takes connections and never answers, for as long as it lives.
struct SilentServer {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    std::string address;
    SilentServer() {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof where;
        ::bind(fd, reinterpret_cast<sockaddr*>(&where), size);
        ::listen(fd, 16);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size);
        address = "http://127.0.0.1:" + std::to_string(ntohs(where.sin_port)) + "/";
    }
    ~SilentServer() { ::close(fd); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
};

constexpr const char* paymentFields = R"HTML(<meta charset="utf-8"><title>Pay</title>
<input aria-label="Amount" onchange="this.value = this.value + '0'">
<input aria-label="Price" oninput="this.value = this.value.replace(/[.]/g, '')">
<input aria-label="Temperature" oninput="this.value = this.value.replace(/-/g, '')">
<input aria-label="Account Number" onchange="this.value = '•••• ' + this.value.slice(-4)">
<input aria-label="Total" onchange="this.value = '$' + Number(this.value).toLocaleString('en-US', {minimumFractionDigits: 2})">)HTML";

}  // namespace

TEST_F(ChromiumAgentOnVirtualClock, TypingIsDoneOnlyWhenTheFieldHoldsTheValueAsked) {
    server.add("/pay", paymentFields);
    struct Row {
        const char* goal;
        bool done;
        const char* holds;  // what the failed step says the field holds
    };
    for (const Row& row : {Row{"type 250 into Amount", false, "Amount holds “2500”, not “250”"},
                           Row{"type 2.50 into Price", false, "Price holds “250”, not “2.50”"},
                           Row{"type -40 into Temperature", false, "Temperature holds “40”, not “-40”"},
                           Row{"type 4242424242424242 into Account Number", true, ""},
                           Row{"type 1234 into Total", true, ""}}) {
        auto agent = browserAgent(unattended());
        const auto report = runGoal(agent, "open " + server.url("/pay") + " then " + row.goal, 120);
        EXPECT_EQ(report.ok, row.done) << row.goal << "\n" << report.stepsText() << "\n" << report.status;
        if (!row.done) {
            EXPECT_NE(report.status.find(row.holds), std::string::npos) << report.status;
        }
    }
}

TEST_F(ChromiumAgentOnVirtualClock, ARepeatWhoseTapNoLongerTakesEffectIsNotDone) {
    server.add("/cart", R"(<title>Cart</title><p id="count">0</p>
<button id="mug">Add Mug</button> <button id="tea">Add Tea</button>
<script>
  let added = false;
  mug.onclick = () => { if (!added) { added = true; count.textContent = Number(count.textContent) + 1; } };
  tea.onclick = () => { count.textContent = Number(count.textContent) + 1; };
</script>)");
    auto agent = browserAgent(unattended());
    const auto report = runGoal(agent, "open " + server.url("/cart") + " then tap Add Mug 3 times", 120);
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_EQ(report.status, "Did it 1 of 3 times, then “Tap “Add Mug”” failed: no visible effect");
    EXPECT_EQ(pageText("#count"), "1");

    auto again = browserAgent(unattended());
    const auto tea = runGoal(again, "open " + server.url("/cart") + " then tap Add Tea 3 times", 120);
    EXPECT_TRUE(tea.ok) << tea.stepsText() << "\n" << tea.status;
    EXPECT_EQ(pageText("#count"), "3");
}

TEST_F(ChromiumAgentOnVirtualClock, APressWhoseOnlyEffectIsItsOwnFocusHadNoEffect) {
    server.add("/doc", R"(<title>Doc</title><p id="state">Draft</p>
<button onclick="">Save</button>
<button onclick="state.textContent = 'Applied'">Apply</button>)");
    auto agent = browserAgent(unattended());
    const auto save = runGoal(agent, "open " + server.url("/doc") + " then tap Save", 120);
    EXPECT_FALSE(save.ok) << save.stepsText();
    auto again = browserAgent(unattended());
    const auto apply = runGoal(again, "open " + server.url("/doc") + " then tap Apply", 120);
    EXPECT_TRUE(apply.ok) << apply.stepsText();
}

TEST_F(ChromiumAgentOnVirtualClock, AScrollWithNothingFurtherToScrollGoesOnToTheNextStep) {
    server.add("/terms", R"(<title>Terms</title><p>Be kind.</p><p id="state">Not accepted</p>
<button onclick="state.textContent = 'Accepted'">Accept</button>)");
    auto agent = browserAgent(unattended());
    const auto report = runGoal(agent, "open " + server.url("/terms") + " then scroll down then tap Accept", 120);
    EXPECT_TRUE(report.ok) << report.stepsText() << "\n" << report.status;
    EXPECT_EQ(pageText("#state"), "Accepted");
}

TEST_F(ChromiumAgentOnVirtualClock, APageThatDrawsItsControlsAfterLoadingIsReadOnceThereAre) {
    server.add("/late", R"(<title>Notes</title><div id="app">Loading…</div>
<script>
  setTimeout(() => {
    app.innerHTML = '<button id="pin">Pin note</button><p id="out"></p>';
    pin.onclick = () => { out.textContent = 'Pinned'; };
  }, 300);
</script>)");
    auto agent = browserAgent(unattended());
    const auto report = runGoal(agent, "open " + server.url("/late") + " then tap Pin note", 120);
    EXPECT_TRUE(report.ok) << report.stepsText() << "\n" << report.status;
    EXPECT_EQ(pageText("#out"), "Pinned");
}

TEST_F(ChromiumAgentOnVirtualClock, APageThatNeverAnswersFailsAsNotLoadedWithinTheOpeningWait) {
    const SilentServer silent;
    auto agent = browserAgent(unattended());
    const auto start = std::chrono::steady_clock::now();
    const auto report = runGoal(agent, "open " + silent.address, 120);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.status.find("the page did not load within 20 seconds"), std::string::npos) << report.status;
    EXPECT_LT(took, 30s);
}

// ---- Pages that draw their controls after loading ----

namespace {

// A notes page whose script builds its button well after the page has loaded.
constexpr const char* lateNotesPage = R"(<title>Notes</title><div id="app">Loading…</div><p id="out"></p>
<script>
  setTimeout(() => {
    app.innerHTML = '<button id="pin">Pin note</button>';
    pin.onclick = () => { out.textContent = 'Pinned'; };
  }, 1500);
</script>)";

}  // namespace

TEST_F(ChromiumAgent, AStepWaitsForTheElementItNamesWhenThePageDrawsItLate) {
    server.add("/late-notes", lateNotesPage);
    auto agent = browserAgent(unattended());
    const auto report = runInRealTime(agent, "open " + server.url("/late-notes") + " then tap Pin note");
    EXPECT_TRUE(report.ok) << report.stepsText() << "\n" << report.status;
    EXPECT_EQ(pageText("#out"), "Pinned");
}

TEST_F(ChromiumAgentOnVirtualClock, AStepWaitsForTheElementItNamesWhenThePageDrawsItLate) {
    server.add("/late-notes", lateNotesPage);
    auto agent = browserAgent(unattended());
    const auto report = runGoal(agent, "open " + server.url("/late-notes") + " then tap Pin note", 120);
    EXPECT_TRUE(report.ok) << report.stepsText() << "\n" << report.status;
    EXPECT_EQ(pageText("#out"), "Pinned");
}

TEST_F(ChromiumAgent, AnElementThatNeverComesIsWaitedForOnlyUntilTheBound) {
    // The page changes every 100 ms and never draws the button named.
    server.add("/ticking", R"(<title>Clock</title><p id="t">0</p>
<script>setInterval(() => { t.textContent = Date.now(); }, 100);</script>)");
    auto agent = browserAgent(unattended());
    const auto start = std::chrono::steady_clock::now();
    const auto report = runInRealTime(agent, "open " + server.url("/ticking") + " then tap Pin note");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_NE(report.status.find("I couldn't work out “tap Pin note”"), std::string::npos) << report.status;
    EXPECT_LT(took, 18s) << "the wait ends at its bound, 10 s after the page loaded";
}

// ---- A web goal's recipe ----

TEST_F(ChromiumAgentOnVirtualClock, AWebGoalsRecipeReplaysItsStepsInTheirOrder) {
    server.add("/profile", R"(<title>Profile</title><input aria-label="Name"> <button id="save">Save</button>
<p id="log"></p>
<script>save.onclick = () => { log.textContent += '[saved "' + document.querySelector('input').value + '"]'; };</script>)");
    const auto goal = [&](const std::string& name) {
        return "open " + server.url("/profile") + " then type " + name + " into Name then tap Save";
    };
    auto memory = freshMemory();
    ASSERT_TRUE(runGoal(browserAgent(unattended(), memory), goal("Rin"), 120).ok);
    ASSERT_EQ(memory->recipes().size(), 1u);
    ASSERT_EQ(pageText("#log"), R"([saved "Rin"])");

    auto agent = browserAgent(unattended(), memory);
    const auto report = runGoal(agent, goal("Mia"), 120);
    EXPECT_TRUE(report.ok) << report.stepsText() << "\n" << report.status;
    EXPECT_EQ(pageText("#log"), R"([saved "Mia"])") << "typed first, then saved once\n" << report.stepsText();
    EXPECT_EQ(agent->engineName().value(), "Learned · on-device");
    EXPECT_EQ(memory->recipes().front().runs, 2) << "the recipe's own steps carried the goal";
}
