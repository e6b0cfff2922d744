// Thirty goals judged by what the app holds afterwards: typed values in the formats fields show
// them (a number read in the field's own decimal sign, text as whole words, a field the page drew
// anew), choices among options, repeat counts on switches and replays of tap and state goals. A
// run must say done exactly when the goal holds, and a value not held is named; the table of
// outcomes is printed.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>

#include "DemoTestSupport.h"
#include "tavro/core/TavroText.h"

namespace tavro::agenttest {
namespace {

// ---- Fields that show a typed number in their own format ----

std::string grouped(long long whole, char separator) {
    std::string digits = std::to_string(whole), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
        out += digits[i];
    }
    return out;
}

// A money format of the number typed: the group and decimal signs, a prefix and a suffix.
std::function<std::string(const std::string&)> money(char group, char decimal, std::string prefix,
                                                     std::string suffix) {
    return [=](const std::string& typed) {
        std::string plain = typed;
        for (char& c : plain) c = c == ',' ? '.' : c;
        const long long cents = std::llround(std::stod(plain) * 100);
        char fraction[4];
        std::snprintf(fraction, sizeof fraction, "%02lld", cents % 100);
        return prefix + grouped(cents / 100, group) + decimal + fraction + suffix;
    };
}

// A cents mask: the digits typed are cents ("250" shows "2,50 €").
std::string cents(const std::string& typed) {
    std::string digits;
    for (const char c : typed)
        if (c >= '0' && c <= '9') digits += c;
    const long long n = std::stoll(digits);
    char fraction[4];
    std::snprintf(fraction, sizeof fraction, "%02lld", n % 100);
    return grouped(n / 100, '.') + "," + fraction + " €";
}

struct World {
    std::shared_ptr<TavroSurface> surface;
    std::function<bool()> achieved;
    std::shared_ptr<demo::DemoApp> app;
    std::vector<std::string> before;  // goals run first (a recipe learned, a state set)
};

// A form with one control (id 1) labelled `label`. Typing or choosing sets the value `shows`
// gives; `replaced` gives the control a new id, as a page that draws it anew.
World form(std::string kind, std::string label, std::vector<std::string> options,
           std::function<std::string(const std::string&)> shows, std::string wanted, bool replaced = false) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Form", .title = "Form",
                                  .elements = {element(1, kind, label), element(2, "button", "Done")}};
    surface->screen.elements[0].options = std::move(options);
    surface->onPerform = [shows, replaced](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind != TavroAction::Kind::type && a.kind != TavroAction::Kind::select) return std::nullopt;
        auto* control = const_cast<TavroElement*>(a.id ? s.element(*a.id) : nullptr);
        if (!control) return "failed: no such control";
        control->value = shows(a.text);
        control->focused = true;
        if (replaced) control->id += 10;
        return std::nullopt;
    };
    const auto* screen = &surface->screen;
    return {surface, [screen, wanted] { return screen->elements[0].value == wanted; }};
}

// A select that picks the option a person means, as a native picker does.
std::function<std::string(const std::string&)> picks(std::vector<std::string> options) {
    return [options](const std::string& text) {
        const auto i = TavroText::option(text, options);
        return i ? options[*i] : std::string();
    };
}

// A settings page whose Newsletter switch starts `on` and keeps its state between runs.
World newsletter(bool on, bool wanted) {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = {.location = "Settings", .title = "Settings",
                       .elements = {element(1, "checkbox", "Newsletter", on ? "1" : "0"), element(2, "button", "Save")}};
    surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind == TavroAction::Kind::click && a.id == 1) s.elements[0].value = s.elements[0].value == "1" ? "0" : "1";
        return std::nullopt;
    };
    const auto* screen = &surface->screen;
    return {surface, [screen, wanted] { return (screen->elements[0].value == "1") == wanted; }};
}

class AgentOutcome : public AgentOnDemo {
protected:
    // A fresh demo app, alone in the shared application.
    World onDemo(std::function<bool(const demo::DemoApp&)> wanted, std::vector<std::string> before = {}) {
        surface.reset();
        app.reset();
        fnd::NotificationCenter::resetDefault();
        ui::Application::resetShared();
        ui::Pasteboard::resetGeneral();
        auto fresh = demo::DemoApp::create();
        auto native = std::make_shared<UIKitSurface>(fresh->routes());
        const auto* held = fresh.get();
        return {native, [held, wanted] { return wanted(*held); }, fresh, std::move(before)};
    }
};

TEST_F(AgentOutcome, ARunSaysDoneExactlyWhenItsGoalHolds) {
    using App = const demo::DemoApp&;
    const auto plain = [](const std::string& t) { return t; };
    const auto us = money(',', '.', "$", "");
    const auto euro = money('.', ',', "", " €");
    const std::vector<std::string> quantities = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
    const std::vector<std::string> products = {"Mug", "Mug + Insurance", "Cup"};
    const std::vector<std::string> languages = {"English", "Français", "Deutsch"};
    const std::vector<std::string> sizes = {"Small (S)", "Large (L)"};
    const auto phone = [](const std::string& t) { return "(" + t.substr(0, 3) + ") " + t.substr(3, 3) + "-" + t.substr(6); };
    const auto constant = [](std::string v) { return [v](const std::string&) { return v; }; };

    struct Row {
        std::string goal;
        std::function<World()> world;
        std::string told = {};  // what the status says the control holds instead
    };
    const std::vector<Row> rows = {
        {"type 250 into Amount", [&] { return form("input", "Amount", {}, plain, "250"); }},
        {"type 1234 into Amount", [&] { return form("input", "Amount", {}, us, "$1,234.00"); }},
        {"type 2.50 into Amount", [&] { return form("input", "Amount", {}, euro, "2,50 €"); }},
        {"type 1234 into Amount", [&] { return form("input", "Amount", {}, euro, "1.234,00 €"); }},
        {"type 250 into Amount", [&] { return form("input", "Amount", {}, cents, "250,00 €"); },
         "Amount holds “2,50 €”, not “250”"},
        {"type 1000 into Amount", [&] { return form("input", "Amount", {}, cents, "1.000,00 €"); }},
        {"type 2,50 into Amount", [&] { return form("input", "Amount", {}, cents, "2,50 €"); }},
        {"type 5551234567 into Phone", [&] { return form("input", "Phone", {}, phone, "(555) 123-4567"); }},
        {"type Anna into Name", [&] { return form("input", "Name", {}, constant("Anna Smith"), "Anna Smith"); }},
        {"type Anna into Name", [&] { return form("input", "Name", {}, constant("Joanna Smith"), "Anna"); },
         "Name holds “Joanna Smith”, not “Anna”"},
        {"type 250 into Amount", [&] { return form("input", "Amount", {}, constant("2500"), "250", true); },
         "Amount holds “2500”, not “250”"},
        {"type 250 into Amount", [&] { return form("input", "Amount", {}, plain, "250", true); }},
        {"set Quantity to 1", [&] { return form("select", "Quantity", quantities, constant("10"), "1"); },
         "Quantity holds “10”, not “1”"},
        {"set Quantity to 2", [&] { return form("select", "Quantity", quantities, picks(quantities), "2"); }},
        {"set Product to Mug", [&] { return form("select", "Product", products, constant("Mug + Insurance"), "Mug"); }},
        {"set Product to Mug", [&] { return form("select", "Product", products, picks(products), "Mug"); }},
        {"set Language to Francais", [&] { return form("select", "Language", languages, picks(languages), "Français"); }},
        {"set Size to Large", [&] { return form("select", "Size", sizes, picks(sizes), "Large (L)"); }},
        {"open Settings then turn on Dark Mode then tap Wi-Fi 2 times",
         [&] { return onDemo([](App a) { return a.darkMode() && a.wifi(); }); }},
        {"open Settings then turn on Notifications 2 times", [&] { return onDemo([](App a) { return a.notifications(); }); }},
        {"open Settings then tap Wi-Fi 3 times", [&] { return onDemo([](App a) { return !a.wifi(); }); }},
        {"open Settings then turn off Wi-Fi 2 times", [&] { return onDemo([](App a) { return !a.wifi(); }); }},
        {"open Settings then tap Dark Mode 2 times", [&] { return onDemo([](App a) { return !a.darkMode(); }); }},
        {"open Settings then turn on Notifications 2 times",
         [&] {
             return onDemo([](App a) { return a.notifications(); },
                         {"open Settings then turn on Notifications", "open Settings then turn off Notifications"});
         }},
        {"tap Newsletter", [&] { auto w = newsletter(false, false); w.before = {"tap Newsletter"}; return w; }},
        {"tap Newsletter", [&] { auto w = newsletter(false, true); w.before = {"tap Newsletter", "tap Newsletter"}; return w; }},
        {"turn on Newsletter", [&] { auto w = newsletter(false, true); w.before = {"turn on Newsletter"}; return w; }},
        {"turn on Newsletter",
         [&] { auto w = newsletter(false, true); w.before = {"turn on Newsletter", "turn off Newsletter"}; return w; }},
        {"open Settings then turn on Dark Mode",
         [&] {
             return onDemo([](App a) { return a.darkMode(); },
                         {"open Settings then turn on Dark Mode", "open Settings then turn off Dark Mode"});
         }},
        {"open Settings then tap Wi-Fi",
         [&] { return onDemo([](App a) { return a.wifi(); }, {"open Settings then tap Wi-Fi"}); }},
    };
    ASSERT_EQ(rows.size(), 30u);

    std::map<std::string, int> counts;
    std::string table = "| # | goal | said | holds | outcome |\n|---|---|---|---|---|\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        fnd::AppDirectories::useFreshTemporaryRoot();
        const World world = rows[i].world();
        auto agent = makeAgent(world.surface, unattended());
        for (const auto& goal : world.before) (void)runGoal(agent, goal);
        const auto report = runGoal(agent, rows[i].goal);
        const bool holds = world.achieved();
        const char* outcome = report.ok ? (holds ? "right" : "false success")
                                        : (holds ? "false failure" : "wrong but said so");
        counts[outcome] += 1;
        table += "| " + std::to_string(i + 1) + " | " + rows[i].goal + " | " + (report.ok ? "done" : "not done") +
                 " | " + (holds ? "yes" : "no") + " | " + outcome + " |\n";
        EXPECT_EQ(report.ok, holds) << i + 1 << ". " << rows[i].goal << "\n" << report.stepsText() << "\n" << report.status;
        if (!rows[i].told.empty()) {
            EXPECT_NE(report.status.find(rows[i].told), std::string::npos) << report.status;
        }
    }
    std::cout << table;
    for (const auto& [outcome, n] : counts) std::cout << outcome << ": " << n << "\n";
}

}  // namespace
}  // namespace tavro::agenttest
