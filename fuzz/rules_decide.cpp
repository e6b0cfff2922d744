// Goals of any shape through the rules engine: split, then decide turn by turn on a fixed screen,
// in both modes. Must end in bounded time and never fail.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tavro/models/TavroRules.h"

using namespace tavro;

namespace {

const TavroScreen& fixedScreen() {
    static const TavroScreen screen = [] {
        TavroScreen s{.location = "Settings", .title = "Settings", .text = "Settings Profile Dark Mode"};
        const auto add = [&](std::int64_t id, const char* kind, const char* label, const char* value, bool inView) {
            s.elements.push_back(TavroElement{.id = id, .kind = kind, .label = label, .value = value, .inView = inView});
        };
        add(1, "tab", "Settings", "", true);
        add(2, "button", "Save", "", true);
        add(3, "checkbox", "Wi-Fi", "1", true);
        add(4, "checkbox", "Dark Mode", "0", true);
        add(5, "input", "Name", "", true);
        add(6, "textarea", "Notes", "", true);
        add(7, "select", "Size", "Medium", true);
        s.elements.back().options = {"Small", "Medium", "Large", "—"};
        add(8, "slider", "Volume", "50", true);
        add(9, "cell", "Tuli", "", false);
        add(10, "link", "Help", "", false);
        add(11, "input", "検索", "", true);
        s.elements.back().type = "search";
        add(12, "button", "保存", "", true);
        add(13, "button", "…", "", true);
        s.elements.back().keys = {"", "save.button", "\xff"};
        return s;
    }();
    return screen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool lenient = (data[0] & 1) != 0;
    const bool withRoutes = (data[0] & 2) != 0;
    const std::string goal(reinterpret_cast<const char*>(data) + 1, size - 1);

    TavroRules rules(goal, withRoutes ? std::vector<std::string>{"Home", "Profile", ""} : std::vector<std::string>{},
                     lenient);
    if ((data[0] & 4) != 0) rules.fallback = TavroRules::split(goal + " then tap Save");
    for (int turn = 0; turn < 8; ++turn) {
        const auto action = rules.decide(fixedScreen());
        if (action.kind == TavroAction::Kind::done) break;
        if (action.kind == TavroAction::Kind::fail && rules.handedOff) break;
        if (action.kind == TavroAction::Kind::fail && rules.lastFailed) {
            // As the agent does after a corrective scroll: try the clause once more.
            rules.clauses.insert(rules.clauses.begin(), *rules.lastFailed);
            rules.lastFailed.reset();
            if (turn > 4) break;
        }
    }
    TavroRules::fixVerb(goal);
    TavroRules::best(goal, fixedScreen().elements, TavroElement::tapKinds(), lenient);
    return 0;
}
