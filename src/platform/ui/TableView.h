// A table: a vertical list of rows in sections, built from a source of functions (how many
// sections and rows, the cell for a row, headers, heights, selection and swipe actions). Every row
// has a cell view laid out in the content; a person taps a row to select it and swipes it to run
// its first swipe action.
#pragma once

#include <compare>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"

namespace ui {

struct IndexPath {
    int section = 0;
    int row = 0;
    auto operator<=>(const IndexPath&) const = default;
};

// A swipe action of a row; the handler answers whether it ran.
struct ContextualAction {
    enum class Style : std::uint8_t { normal, destructive };
    Style style = Style::normal;
    std::string title;
    std::function<bool()> handler;
};

enum class AccessoryType : std::uint8_t { none, disclosureIndicator, checkmark };

class TableView;

class TableViewCell : public View {
public:
    TableViewCell();
    explicit TableViewCell(std::string text);

    std::string_view className() const override { return "UITableViewCell"; }
    Role role() const override { return Role::cell; }

    const std::string& text() const { return textLabel_->text(); }
    void setText(std::string text) { textLabel_->setText(std::move(text)); }
    std::string detailText() const { return detailLabel_ ? detailLabel_->text() : std::string(); }
    void setDetailText(std::string text);
    const std::shared_ptr<Label>& textLabel() const { return textLabel_; }

    AccessoryType accessoryType() const { return accessory_; }
    void setAccessoryType(AccessoryType type) { accessory_ = type; }
    // A view at the row's trailing edge (a switch, a slider, ...).
    const std::shared_ptr<View>& accessoryView() const { return accessoryView_; }
    void setAccessoryView(std::shared_ptr<View> view);

    // Rows that cannot be selected ignore taps.
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool selectable) { selectable_ = selectable; }
    // A row of a checklist: readers see a check box, checked while the accessory is a check mark.
    bool isCheckable() const { return checkable_; }
    void setCheckable(bool checkable) { checkable_ = checkable; }
    bool isChecked() const { return accessory_ == AccessoryType::checkmark; }

    std::optional<IndexPath> indexPath() const;
    std::shared_ptr<TableView> tableView() const { return table_.lock(); }

    // A person's tap selects the row in its table.
    bool tap() override;
    void layoutSubviews() override;

protected:
    std::string defaultAccessibilityLabel() const override { return text(); }
    std::string defaultAccessibilityValue() const override;
    Traits defaultTraits() const override { return checkable_ && isChecked() ? Trait::selected : Trait::none; }

private:
    friend class TableView;
    std::shared_ptr<Label> textLabel_;
    std::shared_ptr<Label> detailLabel_;
    std::shared_ptr<View> accessoryView_;
    std::weak_ptr<TableView> table_;
    IndexPath indexPath_;
    AccessoryType accessory_ = AccessoryType::none;
    bool selectable_ = true;
    bool checkable_ = false;
    bool attached_ = false;
};

class TableView : public ScrollView {
public:
    struct Source {
        std::function<int()> sections;                                     // default 1
        std::function<int(int section)> rows;                              // required
        std::function<std::shared_ptr<TableViewCell>(IndexPath)> cell;     // default: a plain cell
        std::function<std::string(int section)> header;                    // empty: no header
        std::function<double(IndexPath)> height;                           // default rowHeight
        std::function<void(IndexPath)> didSelect;
        std::function<std::vector<ContextualAction>(IndexPath)> leadingSwipeActions;
        std::function<std::vector<ContextualAction>(IndexPath)> trailingSwipeActions;
    };

    TableView();
    explicit TableView(const Rect& frame);

    std::string_view className() const override { return "UITableView"; }

    void setSource(Source source);
    // Asks the source again for every section, row and cell and lays them out.
    void reloadData();
    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height) { rowHeight_ = height; }

    int numberOfSections() const { return static_cast<int>(sections_.size()); }
    int numberOfRows(int section) const;
    std::shared_ptr<TableViewCell> cellForRow(IndexPath path) const;
    // The row's rectangle in content coordinates (empty for a row that does not exist).
    Rect rectForRow(IndexPath path) const;
    void scrollToRow(IndexPath path);

    // A person's tap on the row: runs the source's selection. False for a row that does not
    // exist, cannot be selected, or when the table cannot be touched.
    bool selectRow(IndexPath path);
    std::optional<IndexPath> selectedRow() const { return selected_; }
    void deselectRow() { selected_.reset(); }

    std::vector<ContextualAction> swipeActions(IndexPath path, bool leading) const;
    // A person's full swipe on the row: towards the right runs the first leading action, towards
    // the left the first trailing one. False when there is none or it did not run.
    bool swipeRow(IndexPath path, bool towardsRight);

    void layoutSubviews() override;

private:
    struct Section {
        std::shared_ptr<Label> header;
        std::vector<std::shared_ptr<TableViewCell>> cells;
    };
    Source source_;
    std::vector<Section> sections_;
    std::optional<IndexPath> selected_;
    double rowHeight_ = 44;
};

}  // namespace ui
