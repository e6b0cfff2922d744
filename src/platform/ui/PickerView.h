// A picker: a spinning list of options (one column) with one selected row.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/View.h"

namespace ui {

class PickerView : public View {
public:
    PickerView() = default;
    explicit PickerView(std::vector<std::string> options, const Rect& frame = {})
        : View(frame), options_(std::move(options)) {}

    std::string_view className() const override { return "UIPickerView"; }
    Role role() const override { return Role::picker; }

    const std::vector<std::string>& options() const { return options_; }
    void setOptions(std::vector<std::string> options);
    int selectedRow() const { return selected_; }
    // Selects without telling the handler (as code does).
    void setSelectedRow(int row);
    std::string selectedTitle() const;
    // Told when a person picks a row.
    void setOnSelect(std::function<void(int row)> handler) { onSelect_ = std::move(handler); }
    // A person spins the picker to the row: selects it and tells the handler when it changed.
    bool pick(int row);

protected:
    std::string defaultAccessibilityValue() const override { return selectedTitle(); }
    Traits defaultTraits() const override { return Trait::adjustable; }

private:
    std::vector<std::string> options_;
    std::function<void(int)> onSelect_;
    int selected_ = 0;
};

}  // namespace ui
