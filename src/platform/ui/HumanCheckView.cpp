#include "platform/ui/HumanCheckView.h"

namespace ui {

bool HumanCheckView::solve() {
    if (solved_) return false;
    solved_ = true;
    setHidden(true);
    if (onSolved_) {
        auto handler = onSolved_;
        handler();
    }
    return true;
}

}  // namespace ui
