#include "platform/ui/PickerView.h"

namespace ui {

void PickerView::setOptions(std::vector<std::string> options) {
    options_ = std::move(options);
    if (selected_ >= static_cast<int>(options_.size())) selected_ = 0;
}

void PickerView::setSelectedRow(int row) {
    if (row >= 0 && row < static_cast<int>(options_.size())) selected_ = row;
}

std::string PickerView::selectedTitle() const {
    return selected_ >= 0 && selected_ < static_cast<int>(options_.size()) ? options_[selected_] : std::string();
}

bool PickerView::pick(int row) {
    if (!receivesTouches() || row < 0 || row >= static_cast<int>(options_.size())) return false;
    if (row == selected_) return true;
    selected_ = row;
    if (onSelect_) {
        auto handler = onSelect_;
        handler(row);
    }
    return true;
}

}  // namespace ui
