// A check that only a person may answer (a CAPTCHA): it shows its prompt until a person solves
// it, then hides itself and tells its handler. Assistive readers see no controls inside it.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/View.h"

namespace ui {

class HumanCheckView : public View {
public:
    HumanCheckView() = default;
    explicit HumanCheckView(std::string prompt, const Rect& frame = {}) : View(frame), prompt_(std::move(prompt)) {}

    std::string_view className() const override { return "HumanCheckView"; }
    Role role() const override { return Role::humanCheck; }

    const std::string& prompt() const { return prompt_; }
    void setPrompt(std::string prompt) { prompt_ = std::move(prompt); }
    bool isSolved() const { return solved_; }
    void setOnSolved(std::function<void()> handler) { onSolved_ = std::move(handler); }
    // A person answers the check: it is solved, hides and tells the handler. False when it was
    // already solved.
    bool solve();

protected:
    std::string defaultAccessibilityLabel() const override { return prompt_; }

private:
    std::string prompt_ = "Verify you are human";
    std::function<void()> onSolved_;
    bool solved_ = false;
};

}  // namespace ui
