// The web surface on real pages in the browser engine, served on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "platform/ui/Application.h"
#include "platform/web/WebTestSupport.h"
#include "tavro/core/OptionChoiceCases.h"
#include "tavro/surfaces/WebSurface.h"

using namespace std::chrono_literals;
using namespace tavro;
using nlohmann::json;
using Kind = TavroAction::Kind;

namespace {

struct ChromiumSurface : webtest::ChromiumTest {
    std::shared_ptr<ui::WebView> view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 390, 700});
    std::shared_ptr<WebSurface> surface = std::make_shared<WebSurface>(view);

    ChromiumSurface() { ui::Application::resetShared(); }

    // Opens the page and lets it settle (callers wrap it in ASSERT_NO_FATAL_FAILURE).
    void open(const std::string& path) {
        ASSERT_TRUE(load(*view, server.url(path)));
        ASSERT_EQ(view->loadError(), "");
        settle();
    }
    void settle() { run(surface->settle()); }
    TavroScreen read() {
        auto screen = run(surface->snapshotAsync()).value_or(std::nullopt);
        EXPECT_TRUE(screen.has_value()) << "the page reads";
        return screen.value_or(TavroScreen{});
    }
    std::optional<std::string> perform(Kind kind, std::optional<std::int64_t> id, std::string text = "",
                                       bool submit = false) {
        TavroAction action{kind, id, std::move(text), submit, ""};
        return run(surface->perform(std::move(action))).value_or(std::optional<std::string>("not run"));
    }
    // The value of a page expression, read from our world (the DOM is shared, the page's globals
    // are not).
    json eval(const std::string& script) {
        auto answer = run(view->evaluate(script));
        if (!answer || !answer->value) return json("error: " + (answer ? answer->error : std::string("not run")));
        return *answer->value;
    }
    static const TavroElement* named(const TavroScreen& screen, std::string_view label) {
        for (const auto& e : screen.elements)
            if (e.label == label) return &e;
        return nullptr;
    }
};

constexpr const char* kForm = R"(<title>Sign up</title>
<form action="/done" method="get">
  <label for="name">Your name</label><input id="name" name="name" data-testid="name-field">
  <label>Email <input type="email" name="email"></label>
  <input type="password" name="secret" placeholder="Password" value="abc">
  <input type="search" aria-label="Find">
  <input type="number" aria-label="Age">
  <textarea name="notes" placeholder="Notes"></textarea>
  <select id="size" name="size" aria-label="Size"><option value="s">Small</option><option value="m">Medium</option><option value="l">Large</option></select>
  <input type="checkbox" id="terms" name="terms" style="display:none"><label for="terms">I agree to the terms</label>
  <span role="switch" aria-checked="true" aria-label="Wi-Fi" tabindex="0"></span>
  <button type="submit">Create account</button>
</form>
<p>Welcome to the shop</p>
<script>
  document.querySelector('#name').addEventListener('input', () => document.body.dataset.input = 'yes');
  document.querySelector('#name').addEventListener('change', () => document.body.dataset.change = 'yes');
  document.querySelector('#size').addEventListener('change', (e) => document.body.dataset.size = e.target.value);
</script>)";

}  // namespace

TEST_F(ChromiumSurface, ReadsAFormAndFillsItSoTheValuesLandInThePage) {
    server.add("/form", kForm);
    ASSERT_NO_FATAL_FAILURE(open("/form"));
    const auto screen = read();
    EXPECT_EQ(screen.title, "Sign up");
    EXPECT_EQ(screen.location, server.url("/form"));
    EXPECT_NE(screen.text.find("Welcome to the shop"), std::string::npos);
    EXPECT_EQ(screen.text.find("Create account"), std::string::npos) << "a control's text is its label, not page text";

    const auto* name = named(screen, "Your name");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->kind, "input");
    EXPECT_EQ(name->type, "text");
    EXPECT_EQ(name->keys, (std::vector<std::string>{"name", "name-field"}));
    EXPECT_TRUE(name->inView);
    EXPECT_GT(name->frame.width, 0);
    ASSERT_NE(named(screen, "Email"), nullptr);
    EXPECT_EQ(named(screen, "Email")->type, "email");
    const auto* secret = named(screen, "Password");
    ASSERT_NE(secret, nullptr);
    EXPECT_EQ(secret->value, "•••") << "a password is never read out";
    ASSERT_NE(named(screen, "Find"), nullptr);
    EXPECT_EQ(named(screen, "Find")->type, "search");
    ASSERT_NE(named(screen, "Notes"), nullptr);
    EXPECT_EQ(named(screen, "Notes")->kind, "textarea");
    const auto size = std::find_if(screen.elements.begin(), screen.elements.end(),
                                    [](const TavroElement& e) { return e.kind == "select"; });
    ASSERT_NE(size, screen.elements.end());
    EXPECT_EQ(size->options, (std::vector<std::string>{"Small", "Medium", "Large"}));
    EXPECT_EQ(size->value, "Small");
    const auto* terms = named(screen, "I agree to the terms");
    ASSERT_NE(terms, nullptr) << "a hidden box drawn by its label is read through the label";
    EXPECT_EQ(terms->kind, "checkbox");
    EXPECT_EQ(terms->value, "0");
    ASSERT_NE(named(screen, "Wi-Fi"), nullptr);
    EXPECT_EQ(named(screen, "Wi-Fi")->kind, "checkbox");
    EXPECT_EQ(named(screen, "Wi-Fi")->value, "1");
    ASSERT_NE(named(screen, "Create account"), nullptr);
    EXPECT_EQ(named(screen, "Create account")->kind, "button");

    EXPECT_EQ(perform(Kind::type, name->id, "Rin Tanaka"), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#name').value"), "Rin Tanaka");
    EXPECT_EQ(eval("[document.body.dataset.input, document.body.dataset.change]"), json::array({"yes", "yes"}))
        << "the page's input and change handlers ran";
    EXPECT_EQ(perform(Kind::type, name->id, "Rin"), std::nullopt) << "typing replaces the field's text";
    EXPECT_EQ(eval("document.querySelector('#name').value"), "Rin");
    const auto* age = named(screen, "Age");
    ASSERT_NE(age, nullptr);
    EXPECT_EQ(perform(Kind::type, age->id, "many"), "failed: Age does not take “many”");
    EXPECT_EQ(perform(Kind::type, age->id, "42"), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('[aria-label=Age]').value"), "42");
    EXPECT_EQ(perform(Kind::select, size->id, "large"), std::nullopt);
    EXPECT_EQ(eval("document.body.dataset.size"), "l");
    EXPECT_EQ(perform(Kind::select, size->id, "m"), std::nullopt) << "an option by its value";
    EXPECT_EQ(eval("document.querySelector('#size').value"), "m");
    EXPECT_EQ(perform(Kind::select, size->id, "Huge"), "failed: Size has no option “Huge”; options: Small, Medium, Large");

    // The box by its label: on, on again (no change), off.
    EXPECT_EQ(perform(Kind::click, terms->id, "on"), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#terms').checked"), true);
    EXPECT_EQ(perform(Kind::click, terms->id, "on"), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#terms').checked"), true);
    EXPECT_EQ(perform(Kind::select, terms->id, "maybe"), "failed: I agree to the terms is a switch; choose on or off");
    EXPECT_EQ(perform(Kind::click, terms->id, "off"), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#terms').checked"), false);

    EXPECT_EQ(perform(Kind::type, named(screen, "Create account")->id, "x"), "failed: Create account is not a text field");
    EXPECT_EQ(read().elements.front().id, screen.elements.front().id) << "ids stay for the life of the page";

    // Typing with submit presses Enter: the form goes to its action.
    EXPECT_EQ(perform(Kind::type, name->id, "Mio", true), std::nullopt);
    settle();
    EXPECT_EQ(read().location.rfind(server.url("/done?name=Mio"), 0), 0u) << read().location;
}

TEST_F(ChromiumSurface, ClicksAreAPersonsClicksAndFollowLinks) {
    server.add("/start", R"(<title>Start</title>
<a href="/next">Next page</a>
<div id="plain" style="width:120px;height:30px">Plain box</div>
<button id="go">Go</button>
<button id="hold">Hold</button>
<div id="cover-host"><button id="hidden-go" style="position:absolute;top:300px;left:0;width:100px;height:40px">Under</button>
<div style="position:absolute;top:290px;left:0;width:200px;height:80px;background:#fff">Sheet</div></div>
<p id="out"></p>
<script>
  document.querySelector('#go').addEventListener('click', (e) => {
    document.querySelector('#out').textContent = 'clicked trusted=' + e.isTrusted;
  });
  document.querySelector('#plain').addEventListener('click', () => document.querySelector('#out').textContent = 'plain');
  let down = 0;
  document.querySelector('#hold').addEventListener('pointerdown', () => { down = performance.now(); });
  document.querySelector('#hold').addEventListener('pointerup', () => {
    document.querySelector('#out').textContent = performance.now() - down >= 500 ? 'held' : 'tapped';
  });
</script>)");
    server.add("/next", "<title>Next</title><p>Second page</p>");
    ASSERT_NO_FATAL_FAILURE(open("/start"));
    auto screen = read();
    const auto* go = named(screen, "Go");
    ASSERT_NE(go, nullptr);
    const auto* plain = named(screen, "Plain box");
    ASSERT_NE(plain, nullptr) << "an element with a click listener is a control";
    EXPECT_EQ(plain->kind, "button");
    const auto* under = named(screen, "Under");
    ASSERT_NE(under, nullptr);

    EXPECT_EQ(perform(Kind::click, go->id), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "clicked trusted=true");
    EXPECT_EQ(perform(Kind::click, plain->id), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "plain");
    const auto* hold = named(screen, "Hold");
    ASSERT_NE(hold, nullptr);
    EXPECT_EQ(perform(Kind::longPress, hold->id), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "held");
    EXPECT_EQ(perform(Kind::click, under->id), "failed: Under is covered by “Sheet”")
        << "a click that would land on something else is not reported as done";
    EXPECT_EQ(perform(Kind::click, std::nullopt), "failed: click needs an element id");
    EXPECT_EQ(perform(Kind::navigate, std::nullopt, "Home"), "failed: this page has no routes; tap its links instead");

    const auto goId = go->id;
    const auto* next = named(screen, "Next page");
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(perform(Kind::click, next->id), std::nullopt);
    settle();
    screen = read();
    EXPECT_EQ(screen.location, server.url("/next"));
    EXPECT_EQ(screen.title, "Next");
    EXPECT_EQ(view->url(), server.url("/next"));
    EXPECT_EQ(perform(Kind::click, goId), "failed: element " + std::to_string(goId) + " is not on screen")
        << "an element of the page before";

    EXPECT_EQ(perform(Kind::back, std::nullopt), std::nullopt);
    settle();
    EXPECT_EQ(read().location, server.url("/start"));
}

TEST_F(ChromiumSurface, ScrollsTheLargestAreaOrThePageAndSaysWhenAtTheEnd) {
    std::string rows;
    for (int i = 0; i < 60; ++i) rows += "<div style='height:40px'><button>Row " + std::to_string(i) + "</button></div>";
    server.add("/list", "<title>List</title><div id='box' style='height:500px;overflow:auto'>" + rows + "</div>");
    server.add("/short", "<title>Short</title><p>Nothing more</p>");
    ASSERT_NO_FATAL_FAILURE(open("/list"));
    auto screen = read();
    const auto* last = named(screen, "Row 59");
    ASSERT_NE(last, nullptr);
    EXPECT_FALSE(last->inView) << "rows clipped by their scrolling box are out of view";
    ASSERT_NE(named(screen, "Row 0"), nullptr);
    EXPECT_TRUE(named(screen, "Row 0")->inView);
    EXPECT_EQ(perform(Kind::scroll, std::nullopt, "up"), "failed: already at the top");
    EXPECT_EQ(perform(Kind::scroll, std::nullopt, "down"), std::nullopt);
    EXPECT_GT(eval("document.querySelector('#box').scrollTop").get<double>(), 0);
    for (int i = 0; i < 10; ++i) (void)perform(Kind::scroll, std::nullopt, "down");
    EXPECT_EQ(perform(Kind::scroll, std::nullopt, "down"), "failed: already at the bottom");
    const auto atEnd = read();
    ASSERT_NE(named(atEnd, "Row 59"), nullptr);
    EXPECT_TRUE(named(atEnd, "Row 59")->inView);
    EXPECT_EQ(perform(Kind::swipe, std::nullopt, "down"), std::nullopt) << "a finger moving down brings back the top";
    EXPECT_EQ(perform(Kind::swipe, std::nullopt, "sideways"), "failed: swipe needs left, right, up or down");
    ASSERT_NO_FATAL_FAILURE(open("/short"));
    EXPECT_EQ(perform(Kind::scroll, std::nullopt, "down"), "failed: nothing to scroll here");
}

TEST_F(ChromiumSurface, ReadsShadowRootsAndSameOriginFramesButNotOtherOrigins) {
    server.add("/inner", "<button>Inner button</button>");
    server.add("/frames", R"(<title>Frames</title>
<div id="host"></div>
<iframe src="/inner" style="position:absolute;top:200px;left:10px;width:300px;height:100px;border:0"></iframe>
<iframe src=")" + server.url("/inner", "localhost") + R"(" style="position:absolute;top:320px;width:300px;height:100px"></iframe>
<script>
  const root = document.querySelector('#host').attachShadow({mode: 'open'});
  root.innerHTML = '<button>Shadow button</button>';
</script>)");
    ASSERT_NO_FATAL_FAILURE(open("/frames"));
    const auto screen = read();
    ASSERT_NE(named(screen, "Shadow button"), nullptr);
    const int inner = static_cast<int>(std::count_if(screen.elements.begin(), screen.elements.end(),
                                                     [](const TavroElement& e) { return e.label == "Inner button"; }));
    EXPECT_EQ(inner, 1) << "the same-origin frame is read, the other origin's is not";
    const auto* framed = named(screen, "Inner button");
    ASSERT_NE(framed, nullptr);
    EXPECT_NEAR(framed->frame.y, 200 + 8, 2) << "frames are in the top viewport's coordinates";
    EXPECT_EQ(perform(Kind::click, framed->id), std::nullopt);
    EXPECT_EQ(perform(Kind::click, named(screen, "Shadow button")->id), std::nullopt);
}

TEST_F(ChromiumSurface, SettleWaitsForAnElementThatComesLateAndGivesUpOnAPageThatNeverLoads) {
    server.add("/late", R"(<title>Late</title><p>Loading</p>
<script>
  fetch('/slow').then(r => r.text()).then(() => {
    const b = document.createElement('button'); b.textContent = 'Arrived'; document.body.append(b);
  });
</script>)");
    server.add("/endless", R"(<title>Endless</title><button>Still usable</button><img src="/hang">)");
    ASSERT_NO_FATAL_FAILURE(open("/late"));
    EXPECT_NE(named(read(), "Arrived"), nullptr) << "settle waited for the page's fetch";

    view->load(server.url("/endless"));
    const auto start = std::chrono::steady_clock::now();
    settle();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, 15s) << "settle gives up in bounded time, long before the image would come";
    EXPECT_GT(waited, 2s);
    EXPECT_TRUE(view->isBusy());
    EXPECT_NE(named(read(), "Still usable"), nullptr) << "a page still loading can be read";
}

TEST_F(ChromiumSurface, HostilePagesGiveAReadingOrAClearFailure) {
    const std::string huge(1 << 20, 'x');
    server.add("/hostile", R"(<title>Hostile</title>
<button aria-label=")" + huge + R"(">Big</button>
<button id="ok">Fine</button>
<script>
  window.tavro = { read() { return { elements: [] }; }, perform() { return { ok: true }; } };
  Array.prototype.push = function () { throw new Error('no'); };
  JSON.stringify = () => '{}';
</script>)");
    ASSERT_NO_FATAL_FAILURE(open("/hostile"));
    const auto screen = read();
    ASSERT_EQ(screen.elements.size(), 2u) << "the page's own tavro and broken built-ins do not reach our reader";
    EXPECT_EQ(screen.elements[0].label.size(), 200u) << "labels are capped";
    EXPECT_EQ(perform(Kind::click, screen.elements[1].id), std::nullopt);

    // A page that keeps leaving: every reading is either a reading or a clear failure, in time.
    server.add("/restless", R"(<title>Restless</title><button>Soon gone</button>
<script>setTimeout(() => location.reload(), 15);</script>)");
    ASSERT_TRUE(load(*view, server.url("/restless")));
    int readings = 0, failures = 0;
    for (int i = 0; i < 12; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const auto answer = run(view->evaluate("tavro.read()"));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
        ASSERT_TRUE(answer.has_value());
        if (answer->value && answer->value->is_object()) {
            ++readings;
        } else {
            ++failures;
            EXPECT_FALSE(answer->error.empty());
            EXPECT_EQ(answer->error.find('\n'), std::string::npos);
        }
        actor->runFor(10ms);
    }
    EXPECT_EQ(readings + failures, 12);
}

// A reading of ten thousand rows takes about half a second here, three to four times as long in a
// sanitizer build; the budget leaves room for a machine busy with other work.
#if defined(__SANITIZE_ADDRESS__)
constexpr auto kReadBudget = 24s;
#else
constexpr auto kReadBudget = 8s;
#endif

TEST_F(ChromiumSurface, ReadsTenThousandRowsInOneGo) {
    std::string rows;
    for (int i = 0; i < 10000; ++i) {
        rows += "<div class='row'><span>Setting " + std::to_string(i) + "</span><input type='checkbox' aria-label='Toggle " +
                std::to_string(i) + "'></div>";
    }
    server.add("/rows", "<title>Rows</title>" + rows);
    ASSERT_NO_FATAL_FAILURE(open("/rows"));
    const auto start = std::chrono::steady_clock::now();
    const auto screen = read();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(screen.elements.size(), 10000u);
    EXPECT_LT(took, kReadBudget) << took.count() << " ms";
    EXPECT_LE(screen.text.size(), 4000u) << "page text is capped";
    EXPECT_EQ(screen.elements.back().label, "Toggle 9999");
    EXPECT_FALSE(screen.elements.back().inView);
}

TEST_F(ChromiumSurface, APressReachesTheElementItAimedAtOrFailsSayingWhatCoversIt) {
    server.add("/sub", webtest::shiftingSubscriptionPage);
    ASSERT_NO_FATAL_FAILURE(open("/sub"));
    const auto subscription = read();
    const auto* keep = named(subscription, "Keep subscription");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(perform(Kind::click, keep->id), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "SUBSCRIPTION KEPT");

    // A hostile page puts "Delete account" under the pointer wherever it moves.
    server.add("/mover", R"(<title>Account</title>
<button id="keep" style="position:absolute;left:20px;top:100px;width:200px;height:50px">Keep account</button>
<button id="del" style="position:absolute;left:20px;top:400px;width:200px;height:50px">Delete account</button>
<button id="stay" style="position:absolute;left:20px;top:200px;width:200px;height:50px">Stay</button>
<button id="gone" style="position:absolute;left:20px;top:500px;width:200px;height:50px">Remove everything</button>
<p id="out" style="position:absolute;top:600px"></p>
<script>
  addEventListener('mousemove', (e) => {
    if (e.clientY > 180) return;
    del.style.left = (e.clientX - 100) + 'px';
    del.style.top = (e.clientY - 25) + 'px';
  }, true);
  // This one waits for the button to go down before it slips another button under the pointer.
  stay.addEventListener('mousedown', (e) => {
    gone.style.top = (e.clientY - 25) + 'px';
  });
  del.onclick = () => out.textContent = 'DELETED';
  gone.onclick = () => out.textContent = 'REMOVED';
  keep.onclick = () => out.textContent = 'KEPT';
  stay.onclick = () => out.textContent = 'STAYED';
</script>)");
    ASSERT_NO_FATAL_FAILURE(open("/mover"));
    const auto screen = read();
    const auto* account = named(screen, "Keep account");
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(perform(Kind::click, account->id), "failed: Keep account is covered by “Delete account”");
    const auto* stay = named(screen, "Stay");
    ASSERT_NE(stay, nullptr);
    const auto slipped = perform(Kind::click, stay->id);
    ASSERT_TRUE(slipped.has_value()) << "a press that went elsewhere is not done";
    EXPECT_TRUE(slipped->starts_with("failed: Stay ")) << *slipped;
    EXPECT_NE(slipped->find("“Remove everything”"), std::string::npos) << *slipped;
    EXPECT_EQ(perform(Kind::longPress, account->id), "failed: Keep account is covered by “Delete account”");
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "") << "no other button was pressed";
}

TEST_F(ChromiumSurface, TypingSendsTheKeysAPersonsTypingSends) {
    server.add("/book", R"(<title>Book</title>
<input id="q" aria-label="Search this book">
<input id="k" aria-label="Filter">
<input id="j" aria-label="Name">
<p id="results"></p><p id="keys"></p><p id="inputs"></p><p id="order"></p>
<script>
  q.addEventListener('keyup', () => results.textContent = 'Results for ' + q.value);
  k.addEventListener('keydown', (e) => keys.textContent += e.key);
  let n = 0;
  j.addEventListener('input', () => inputs.textContent = (++n) + ':' + j.value);
  const seen = [];
  for (const type of ['keydown', 'keypress', 'beforeinput', 'input', 'keyup']) {
    q.addEventListener(type, () => { if (seen.length < 5) seen.push(type); order.textContent = seen.join(','); });
  }
</script>)");
    ASSERT_NO_FATAL_FAILURE(open("/book"));
    const auto screen = read();
    ASSERT_NE(named(screen, "Search this book"), nullptr);
    EXPECT_EQ(perform(Kind::type, named(screen, "Search this book")->id, "doctest"), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#results').textContent"), "Results for doctest")
        << "a page that searches on keyup searched";
    EXPECT_EQ(eval("document.querySelector('#order').textContent"), "keydown,keypress,beforeinput,input,keyup");

    ASSERT_NE(named(screen, "Filter"), nullptr);
    EXPECT_EQ(perform(Kind::type, named(screen, "Filter")->id, "Ab1 !?"), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#keys').textContent"), "Ab1 !?") << "each key went down, shifted ones too";
    EXPECT_EQ(eval("document.querySelector('#k').value"), "Ab1 !?");

    ASSERT_NE(named(screen, "Name"), nullptr);
    EXPECT_EQ(perform(Kind::type, named(screen, "Name")->id, "東京 Tower 🗼"), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#j').value"), "東京 Tower 🗼");
    const std::string heard = eval("document.querySelector('#inputs').textContent").get<std::string>();
    EXPECT_TRUE(heard.ends_with(":東京 Tower 🗼")) << heard << ": the page heard input for text that has no key";
}

TEST_F(ChromiumSurface, AWindowThePageOpensIsFollowedInThePageAndNoOtherStaysOpen) {
    server.add("/opener", R"html(<title>Opener</title>
<button id="open" onclick="window.open('/popped')">Open window</button>
<a href="/tabbed" target="_blank">New tab</a>
<button id="blank" onclick="window.open('')">Open empty</button>
<button id="file" onclick="window.open('file:///etc/hostname')">Open file</button>)html");
    server.add("/popped", "<title>Popped</title><p>From window.open</p>");
    server.add("/tabbed", "<title>Tabbed</title><p>From a new tab link</p>");
    auto engine = web::BrowserEngine::shared();
    ASSERT_TRUE(engine);
    const auto pages = [&] {
        const auto targets = run(engine->call("Target.getTargets", json::object()));
        int n = 0;
        if (targets) {
            for (const auto& t : targets->result.value("targetInfos", json::array())) n += t.value("type", std::string()) == "page";
        }
        return n;
    };
    ASSERT_NO_FATAL_FAILURE(open("/opener"));
    const int before = pages();
    for (const auto& [name, title] : {std::pair{"Open window", "Popped"}, {"New tab", "Tabbed"}, {"Open window", "Popped"},
                                      {"New tab", "Tabbed"}}) {
        ASSERT_NO_FATAL_FAILURE(open("/opener"));
        const auto screen = read();
        const auto* control = named(screen, name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(perform(Kind::click, control->id), std::nullopt) << name;
        EXPECT_TRUE(actor->runUntil([&] { return view->url().ends_with(std::string("/") + (title == std::string("Popped") ? "popped" : "tabbed")); }, patience))
            << name << " was followed in the page: " << view->url();
        settle();
        EXPECT_EQ(read().title, title);
    }
    ASSERT_NO_FATAL_FAILURE(open("/opener"));
    const auto screen = read();
    ASSERT_NE(named(screen, "Open empty"), nullptr);
    EXPECT_EQ(perform(Kind::click, named(screen, "Open empty")->id), std::nullopt);
    EXPECT_TRUE(actor->runUntil([&] { return pages() == before; }, 10s)) << "every window the page opened is closed";
    EXPECT_EQ(view->url(), server.url("/opener")) << "a window without an address leaves the page where it is";
    ASSERT_NE(named(screen, "Open file"), nullptr);
    EXPECT_EQ(perform(Kind::click, named(screen, "Open file")->id), std::nullopt);
    EXPECT_TRUE(actor->runUntil([&] { return pages() == before; }, 10s));
    actor->runFor(300ms);
    EXPECT_EQ(view->url(), server.url("/opener")) << "a web page's window does not open the device's files";
}

TEST_F(ChromiumSurface, AStopEndsAReadingThatThePageHoldsUp) {
    // The page's own script keeps the page busy for twenty seconds, a while after it has loaded.
    server.add("/busy", R"(<title>Busy</title><button>Busy</button>
<script>setTimeout(() => { const end = Date.now() + 20000; while (Date.now() < end) {} }, 300);</script>)");
    ASSERT_TRUE(load(*view, server.url("/busy")));
    actor->runFor(600ms);
    auto reading = rt::spawn(surface->snapshotAsync(), actor);
    actor->runFor(500ms);
    ASSERT_FALSE(reading.isDone()) << "the reading waits for the busy page";
    const auto stopped = std::chrono::steady_clock::now();
    reading.cancel();
    EXPECT_TRUE(actor->runUntil([&] { return reading.isDone(); }, patience));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 2s) << "the wait ended with the stop";
    ASSERT_TRUE(reading.result().has_value());
    EXPECT_FALSE(reading.result()->has_value()) << "a stopped reading reads nothing";
    // The page's runaway script was ended with the wait: the page answers again.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(eval("1 + 1"), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

// Built like a documentation site: a fixed side bar that scrolls on its own (shown on wide screens),
// scroll padding, and a header that shrinks once it is scrolled out of full view. The page hears of
// that from an intersection observer, a frame or two after the scroll: a point measured at once is
// stale by the time the button goes down.
TEST_F(ChromiumSurface, ATapOnALinkOfADocsLikePageLandsOnThatLink) {
    const std::vector<std::string> topics = {"Assertions", "Async hooks", "Buffer", "Addons", "Node-API", "Embedder API",
                                             "Child processes", "Cluster", "Command line", "Console", "Crypto", "Debugger",
                                             "Diagnostics", "DNS", "Domain", "Errors", "Events", "File system", "Globals",
                                             "HTTP", "HTTPS", "Inspector", "Modules", "Net", "OS", "Path", "Process",
                                             "Readline", "REPL", "Stream", "Timers", "TLS", "TTY", "UDP", "URL", "Utilities",
                                             "VM", "Workers", "Zlib"};
    std::string links;
    for (std::size_t i = 0; i < topics.size(); ++i) {
        links += "<li><a href='/docs/" + std::to_string(i) + "'>" + topics[i] + "</a></li>";
        server.add("/docs/" + std::to_string(i), "<title>" + topics[i] + "</title>");
    }
    server.add("/docs/index", R"(<!doctype html><title>Docs</title>
<style>
  html { scroll-padding-top: 4rem; }
  body { margin: 0; line-height: 1.5; }
  #side { position: fixed; top: 0; left: 0; bottom: 0; width: 234px; overflow-y: scroll; }
  #main { margin-left: 234px; padding: 0 2rem; }
  .header { position: sticky; top: -1px; z-index: 10; padding-top: 1rem; background: #fff; }
  .header .pinned { display: none; }
  .header.is-pinned .top { display: none; }
  .header.is-pinned .pinned { display: inline; }
  @media (max-width: 1024px) { #side { display: none; } #main { margin-left: 0; padding: 0 .5rem; } }
  @media (max-width: 600px) { .header { position: relative; top: 0; } }
</style>
<div id="side"><ul>)" + links + R"(</ul></div>
<div id="main"><header class="header"><div class="top"><h1>Documentation</h1><button>Theme</button></div>
<ul><li class="pinned">Docs</li><li><a href="#toc">Contents</a></li></ul></header>
<hr><h2>Index</h2><ul>)" + links + R"(</ul></div>
<script>
  const header = document.querySelector('.header');
  let quiet = false;
  new IntersectionObserver((e) => {
    const pinned = e[0].intersectionRatio < 1;
    if (pinned === header.classList.contains('is-pinned')) return;
    if (quiet) { quiet = false; return; }
    quiet = true;
    setTimeout(() => { quiet = false; }, 50);
    header.classList.toggle('is-pinned', pinned);
  }, { threshold: [1] }).observe(header);
</script>)");
    const auto tapEach = [&](const std::vector<std::string>& names) {
        for (const auto& name : names) {
            ASSERT_NO_FATAL_FAILURE(open("/docs/index"));
            const auto screen = read();
            const auto* link = named(screen, name);
            ASSERT_NE(link, nullptr) << name;
            EXPECT_EQ(perform(Kind::click, link->id), std::nullopt) << name;
            settle();
            EXPECT_EQ(read().title, name) << "the tap on " << name << " landed on " << view->url();
        }
    };
    tapEach({"Buffer", "Node-API", "Embedder API", "Child processes", "Cluster", "Command line"});
    // On a wide screen the side bar's links come first; the last ones are scrolled into view
    // inside the side bar.
    view = std::make_shared<ui::WebView>(ui::Rect{0, 0, 1100, 700});
    surface = std::make_shared<WebSurface>(view);
    tapEach({"Zlib", "Buffer", "Workers"});
}

TEST_F(ChromiumSurface, APressStopsWhenTheElementNoLongerReadsAsItWasRead) {
    server.add("/drafts", webtest::renamingPage);
    ASSERT_NO_FATAL_FAILURE(open("/drafts"));
    const auto screen = read();
    for (const char* label : {"Save draft", "Publish", "Share", "Later"}) ASSERT_NE(named(screen, label), nullptr) << label;
    EXPECT_EQ(perform(Kind::click, named(screen, "Save draft")->id), "failed: Save draft now reads “Delete account”");
    EXPECT_EQ(perform(Kind::click, named(screen, "Publish")->id), "failed: Publish now reads “Unpublish everything”")
        << "renamed once the button went down: the release is not heard";
    EXPECT_EQ(perform(Kind::click, named(screen, "Share")->id), "failed: Share is now a link");
    eval("document.querySelector('#later').textContent = 'Now'");
    EXPECT_EQ(perform(Kind::click, named(screen, "Later")->id), "failed: Later now reads “Now”")
        << "what counts is the reading the action was chosen on";
    EXPECT_EQ(perform(Kind::type, named(screen, "Later")->id, "x"), "failed: Later now reads “Now”");
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "") << "nothing was pressed";
    const auto again = read();
    ASSERT_NE(named(again, "Now"), nullptr);
    EXPECT_EQ(perform(Kind::click, named(again, "Now")->id), std::nullopt) << "read again, it is pressed as it reads now";
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "LATER: Now");
}

TEST_F(ChromiumSurface, AControlInsideTheElementIsACoverNotTheElement) {
    server.add("/notes", webtest::rowsPage);
    ASSERT_NO_FATAL_FAILURE(open("/notes"));
    const auto screen = read();
    for (const char* label : {"Meeting notes", "Holiday photos", "Shopping list"}) ASSERT_NE(named(screen, label), nullptr) << label;
    EXPECT_EQ(perform(Kind::click, named(screen, "Meeting notes")->id), "failed: Meeting notes is covered by “Delete”");
    EXPECT_EQ(perform(Kind::click, named(screen, "Holiday photos")->id), "failed: Holiday photos is covered by “Archive”");
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "");
    EXPECT_EQ(perform(Kind::click, named(screen, "Shopping list")->id), std::nullopt);
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "OPENED Shopping list");
}

TEST_F(ChromiumSurface, WhatCameOverTheElementOnceTheButtonWentDownHearsNoRelease) {
    server.add("/wishlist", webtest::wishlistPage);
    ASSERT_NO_FATAL_FAILURE(open("/wishlist"));
    const auto shop = read();
    const auto* wish = named(shop, "Add to wishlist");
    ASSERT_NE(wish, nullptr);
    EXPECT_EQ(perform(Kind::click, wish->id), "failed: Add to wishlist is covered by “Confirm purchase”");
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "") << "no purchase";
    EXPECT_EQ(eval("document.querySelector('#layer').dataset.heard || ''"), "") << "the layer heard no release";

    server.add("/late-banner", webtest::lateBannerPage);
    int kept = 0;
    for (int i = 0; i < 16; ++i) {
        const int delay = 1 + i % 4;
        ASSERT_NO_FATAL_FAILURE(open("/late-banner?delay=" + std::to_string(delay)));
        const auto screen = read();
        const auto* keep = named(screen, "Keep subscription");
        ASSERT_NE(keep, nullptr);
        const auto failure = perform(Kind::click, keep->id);
        const auto out = eval("document.querySelector('#out').textContent");
        EXPECT_EQ(eval("document.querySelector('#cancel').dataset.heard || ''"), "") << "try " << i << ": " << failure.value_or("ok");
        if (failure) {
            EXPECT_EQ(out, "") << "try " << i << ": " << *failure;
        } else {
            EXPECT_EQ(out, "SUBSCRIPTION KEPT") << "try " << i;
            ++kept;
        }
    }
    EXPECT_GT(kept, 0) << "a press that the banner did not get in the way of went through";
}

TEST_F(ChromiumSurface, ALongPressThatOpensAMenuUnderTheFingerSelectsNothing) {
    server.add("/photos", webtest::photoPage);
    ASSERT_NO_FATAL_FAILURE(open("/photos"));
    const auto photos = read();
    const auto* photo = named(photos, "Beach photo");
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(perform(Kind::longPress, photo->id), std::nullopt) << "the menu is the hold's effect";
    EXPECT_EQ(eval("!!document.querySelector('#menu')"), true);
    EXPECT_EQ(eval("document.querySelector('#out').textContent"), "") << "nothing in the menu was chosen";
    const auto menu = read();
    ASSERT_NE(named(menu, "Share photo"), nullptr);
    EXPECT_EQ(perform(Kind::click, named(menu, "Share photo")->id), std::nullopt) << "the next press is a press as usual";
}

TEST_F(ChromiumSurface, TypingFailsWhenTheFieldDoesNotHoldTheText) {
    server.add("/transfer", webtest::fieldsPage);
    ASSERT_NO_FATAL_FAILURE(open("/transfer"));
    const auto screen = read();
    for (const char* label : {"Amount", "City", "Comment", "Phone", "Note"}) ASSERT_NE(named(screen, label), nullptr) << label;
    EXPECT_EQ(perform(Kind::type, named(screen, "Amount")->id, "250"), "failed: Amount holds “25”, not “250”");
    EXPECT_EQ(perform(Kind::type, named(screen, "City")->id, "Osaka"), "failed: City holds “Tokyo”, not “Osaka”");
    EXPECT_EQ(perform(Kind::type, named(screen, "Comment")->id, "hello"), "failed: Comment does not take “hello”");
    EXPECT_EQ(perform(Kind::type, named(screen, "Phone")->id, "5551234567"), std::nullopt) << "a field that formats the text holds it";
    EXPECT_EQ(eval("document.querySelector('#phone').value"), "(555) 123-4567");
    EXPECT_EQ(perform(Kind::type, named(screen, "Note")->id, "Lunch, 2 pm!"), std::nullopt);
    EXPECT_EQ(perform(Kind::type, named(screen, "Amount")->id, "25"), std::nullopt);
}

TEST_F(ChromiumSurface, AnOptionIsChosenAsEveryChoiceOfAnOptionChoosesIt) {
    // One select per case of the shared table, each option's value "o" and its index.
    const auto& cases = optioncases::cases();
    std::string page = "<title>Options</title>";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        page += "<select aria-label='Choice " + std::to_string(i) + "'><option value='-'>(none)</option>";
        for (std::size_t k = 0; k < cases[i].options.size(); ++k)
            page += "<option value='o" + std::to_string(k) + "'>" + cases[i].options[k] + "</option>";
        page += "</select>";
    }
    server.add("/options", page);
    ASSERT_NO_FATAL_FAILURE(open("/options"));
    const auto screen = read();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto* select = named(screen, "Choice " + std::to_string(i));
        ASSERT_NE(select, nullptr) << i;
        const auto failure = perform(Kind::select, select->id, cases[i].value);
        const auto chosen = eval("document.querySelectorAll('select')[" + std::to_string(i) + "].value");
        if (cases[i].chosen) {
            EXPECT_EQ(failure, std::nullopt) << cases[i].value;
            EXPECT_EQ(chosen, "o" + std::to_string(*cases[i].chosen)) << cases[i].value;
        } else {
            EXPECT_NE(failure, std::nullopt) << cases[i].value;
            EXPECT_EQ(chosen, "-") << cases[i].value;
        }
    }
}
