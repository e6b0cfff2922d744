#include "tavro/agent/TavroPrompt.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroPack.h"

namespace tavro::TavroPrompt {

namespace {

void appendJoined(std::string& out, const std::vector<std::string>& parts, std::string_view separator) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += separator;
        out += parts[i];
    }
}

// Budgets are counts; a negative one shows nothing.
std::size_t countOf(std::int64_t budget) { return budget > 0 ? static_cast<std::size_t>(budget) : 0; }

bool isFieldKind(const std::string& kind) { return TavroElement::fieldKinds().count(kind) > 0; }

// Fields 0, links and cells 2, anything else 1; off screen 3 more.
int rank(const TavroElement& e) {
    const int base = isFieldKind(e.kind) ? 0 : (e.kind == "link" || e.kind == "cell") ? 2 : 1;
    return e.inView ? base : base + 3;
}

// Which elements `pick` keeps, as a flag per element. Ranks are few, so the stable sort by rank
// reduces to a count per rank: every element ranked below the cut-off rank is kept, and of the
// cut-off rank the first ones in screen order until the budget is full. Linear in the list.
std::vector<bool> picked(const std::vector<TavroElement>& elements, std::size_t budget) {
    std::vector<bool> keep(elements.size(), false);
    if (elements.size() <= budget) {
        std::fill(keep.begin(), keep.end(), true);
        return keep;
    }
    std::array<std::size_t, 6> perRank{};
    std::vector<std::uint8_t> ranks(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        ranks[i] = static_cast<std::uint8_t>(rank(elements[i]));
        ++perRank[ranks[i]];
    }
    std::size_t cutRank = 0;
    std::size_t below = 0;
    while (cutRank < perRank.size() && below + perRank[cutRank] <= budget) below += perRank[cutRank++];
    std::size_t ofCutRank = budget - below;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (ranks[i] < cutRank) keep[i] = true;
        else if (ranks[i] == cutRank && ofCutRank > 0) {
            keep[i] = true;
            --ofCutRank;
        }
    }
    return keep;
}

void appendKnown(std::string& out, const std::vector<std::string>& known) {
    if (known.empty()) return;
    out += "KNOWN DETAILS: ";
    appendJoined(out, known, "; ");
    out += "\n";
}

}  // namespace

std::string system(std::string_view surface, bool json, const std::vector<std::string>& routes) {
    std::vector<std::string> lines;
    lines.reserve(26);
    lines.push_back("You operate " + std::string(surface) +
                    " for the user to complete their GOAL. Each turn you see the current screen and choose ONE next "
                    "action.");
    lines.emplace_back("Actions:");
    lines.emplace_back("- click: tap element id (buttons, links, rows, tabs, switches).");
    lines.emplace_back(
        "- type: put text into input element id. Set submit=true to press Return (search fields, last field of a "
        "form).");
    lines.emplace_back("- select: set dropdown, segmented control, picker or slider element id to the value in text.");
    lines.emplace_back("- scroll: text \"down\" or \"up\" to reveal more.");
    lines.emplace_back(
        "- swipe: text \"left\", \"right\", \"up\" or \"down\", on element id (a row, card or photo) or the whole "
        "screen when id is -1. Use it for carousels, pages and photo viewers. A row's swipe actions (Delete, Pin…) "
        "are listed as their own buttons: tap those.");
    lines.emplace_back("- longPress: press and hold element id (opens its menu).");
    lines.emplace_back(
        "- back: hide the keyboard if it is up, otherwise go back to the previous screen or close the current sheet "
        "or alert.");
    if (!routes.empty()) lines.emplace_back("- navigate: jump straight to one of ROUTES (route name in text).");
    lines.emplace_back(
        "- copy: put text (or the text of element id) on the clipboard. paste: paste the clipboard into field id.");
    lines.emplace_back(
        "- saveImage: save the current image to the user's Photos. share: open the iOS share sheet for text or "
        "element id.");
    lines.emplace_back(
        "- openWeb: when the task CANNOT be done in this app, open a browser inside the app at the web address or "
        "search in text, then keep working there.");
    lines.emplace_back(
        "- ask: ONLY when a personal detail the form requires (email, phone, address, password) is in neither GOAL "
        "nor KNOWN DETAILS. Put the question in text.");
    lines.emplace_back("- done: the goal is complete. Put the answer or a one-line summary in text.");
    lines.emplace_back("- fail: the goal is impossible here. Put the reason in text.");
    lines.emplace_back("Rules:");
    lines.emplace_back("- Use only ids listed in ELEMENTS.");
    lines.emplace_back(
        "- Act on your own. When something is unclear, make the most sensible assumption and keep going (first "
        "relevant item, default options, quantity 1, soonest date). Mention the assumption in thought.");
    lines.emplace_back("- Look at DONE SO FAR; never repeat a step that worked. If a step failed, try a different element.");
    lines.emplace_back(
        "- Use personal details only from GOAL or KNOWN DETAILS; never make up passwords or card numbers.");
    lines.emplace_back("- If the GOAL asks a question, find the answer in SCREEN TEXT and reply with done.");
    if (json) {
        lines.emplace_back("Reply with one JSON object and nothing else:");
        lines.emplace_back(R"({"thought":"short reason","action":"click","id":12,"text":"","submit":false})");
    }
    if (const auto pack = TavroPacks::current()) {
        std::string notes = pack->promptNotes();
        if (!notes.empty()) lines.push_back("App notes:\n" + std::move(notes));
    }
    std::string out;
    appendJoined(out, lines, "\n");
    return out;
}

std::string user(std::string_view goal, const TavroScreen& screen, const std::vector<std::string>& history,
                 TavroContextBudget budget, const std::vector<std::string>& known,
                 const std::vector<std::string>& routes) {
    std::string out;
    out.reserve(4096);
    out += "GOAL: ";
    out += goal;
    out += "\n";
    appendKnown(out, known);
    if (const auto map = TavroMaps::current()) {
        const std::vector<std::string> hints = map->hints(goal, screen, 3);
        if (!hints.empty()) {
            out += "APP MAP: ";
            appendJoined(out, hints, "; ");
            out += "\n";
        }
    }
    out += "\nSCREEN: ";
    out += screen.location;
    if (screen.keyboardVisible) out += " (keyboard up)";
    out += "\nTITLE: ";
    out += screen.title;
    out += "\nSCREEN TEXT: ";
    out += TavroText::prefix(screen.text, countOf(budget.textChars));
    out += "\n\nELEMENTS:\n";
    const std::vector<bool> keep = picked(screen.elements, countOf(budget.elements));
    bool any = false;
    for (std::size_t i = 0; i < screen.elements.size(); ++i) {
        if (!keep[i]) continue;
        out += line(screen.elements[i]);
        out += "\n";
        any = true;
    }
    if (!any) out += "(none)\n";
    if (!routes.empty()) {
        out += "\nROUTES: ";
        appendJoined(out, routes, ", ");
        out += "\n";
    }
    out += "\nDONE SO FAR:\n";
    if (history.empty()) {
        out += "(nothing yet)";
    } else {
        const std::size_t first = history.size() > 8 ? history.size() - 8 : 0;
        for (std::size_t i = first; i < history.size(); ++i) {
            if (i > first) out += "\n";
            out += std::to_string(i - first + 1);
            out += ". ";
            out += history[i];
        }
    }
    out += "\n\nWhat is the next action?";
    return out;
}

std::string planUser(std::string_view goal, const TavroScreen& screen, const std::vector<std::string>& known,
                     const std::vector<std::string>& routes) {
    std::string out;
    out += "GOAL: ";
    out += goal;
    out += "\n";
    appendKnown(out, known);
    out += "SCREEN: ";
    out += screen.location;
    out += "\nVISIBLE: ";
    const std::vector<bool> keep = picked(screen.elements, 30);
    int shown = 0;
    for (std::size_t i = 0; i < screen.elements.size() && shown < 20; ++i) {
        const std::string& label = screen.elements[i].label;
        if (!keep[i] || label.empty()) continue;
        if (shown++ > 0) out += ", ";
        out += label;
    }
    if (!routes.empty()) {
        out += "\nROUTES: ";
        appendJoined(out, routes, ", ");
    }
    out += "\n\nList the steps.";
    return out;
}

std::string line(const TavroElement& element) {
    std::string out = "[" + std::to_string(element.id) + "] " + element.kind;
    if (!element.type.empty()) out += "(" + element.type + ")";
    out += " \"" + TavroText::prefix(element.label, 60) + "\"";
    if (isFieldKind(element.kind) || element.kind == "checkbox" || element.kind == "tab") {
        out += " value=\"" + TavroText::prefix(element.value, 40) + "\"";
    }
    if (!element.options.empty()) {
        out += " options: ";
        for (std::size_t i = 0; i < element.options.size() && i < 10; ++i) {
            if (i > 0) out += " | ";
            out += element.options[i];
        }
    }
    if (element.focused) out += " (keyboard is here)";
    if (!element.inView) out += " (off screen)";
    return out;
}

std::vector<TavroElement> pick(const std::vector<TavroElement>& elements, int budget) {
    const std::vector<bool> keep = picked(elements, countOf(budget));
    std::vector<TavroElement> out;
    out.reserve(std::min(elements.size(), countOf(budget)));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (keep[i]) out.push_back(elements[i]);
    }
    return out;
}

}  // namespace tavro::TavroPrompt
