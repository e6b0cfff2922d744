#include "platform/ui/TableView.h"

namespace ui {

namespace {
constexpr double margin = 16;
constexpr double headerHeight = 36;
}  // namespace

TableViewCell::TableViewCell() : textLabel_(std::make_shared<Label>()) {}

TableViewCell::TableViewCell(std::string text) : textLabel_(std::make_shared<Label>(std::move(text))) {}

void TableViewCell::setDetailText(std::string text) {
    if (!detailLabel_) {
        detailLabel_ = std::make_shared<Label>();
        detailLabel_->setTextColor(Color::gray());
    }
    detailLabel_->setText(std::move(text));
    layoutSubviews();
}

void TableViewCell::setAccessoryView(std::shared_ptr<View> view) {
    if (accessoryView_) accessoryView_->removeFromSuperview();
    accessoryView_ = std::move(view);
    layoutSubviews();
}

std::optional<IndexPath> TableViewCell::indexPath() const {
    if (table_.expired()) return std::nullopt;
    return indexPath_;
}

bool TableViewCell::tap() {
    if (!selectable_ || !receivesTouches()) return false;
    auto table = table_.lock();
    return table && table->selectRow(indexPath_);
}

void TableViewCell::layoutSubviews() {
    // Subviews join on the first layout: a view cannot take subviews while it is being built.
    if (textLabel_->superview().get() != this) addSubview(textLabel_);
    if (detailLabel_ && detailLabel_->superview().get() != this) addSubview(detailLabel_);
    if (accessoryView_ && accessoryView_->superview().get() != this) addSubview(accessoryView_);
    const Rect b = bounds();
    double right = b.width - margin;
    if (accessoryView_) {
        const Rect f = accessoryView_->frame();
        accessoryView_->setFrame({right - f.width, (b.height - f.height) / 2, f.width, f.height});
        right -= f.width + 8;
    } else if (accessory_ != AccessoryType::none) {
        right -= 20;
    }
    if (detailLabel_) {
        const double half = (right - margin) / 2;
        textLabel_->setFrame({margin, 0, half, b.height});
        detailLabel_->setFrame({margin + half, 0, half, b.height});
    } else {
        textLabel_->setFrame({margin, 0, std::max(0.0, right - margin), b.height});
    }
}

std::string TableViewCell::defaultAccessibilityValue() const {
    if (checkable_) return isChecked() ? "1" : "0";
    return detailText();
}

TableView::TableView() = default;

TableView::TableView(const Rect& frame) : ScrollView(frame) {}

void TableView::setSource(Source source) {
    source_ = std::move(source);
    reloadData();
}

void TableView::reloadData() {
    for (auto& section : sections_) {
        if (section.header) section.header->removeFromSuperview();
        for (auto& cell : section.cells) {
            cell->removeFromSuperview();
            cell->table_.reset();
        }
    }
    sections_.clear();
    auto self = std::static_pointer_cast<TableView>(shared_from_this());
    const int count = source_.sections ? source_.sections() : 1;
    for (int s = 0; s < count; ++s) {
        Section section;
        const std::string title = source_.header ? source_.header(s) : std::string();
        if (!title.empty()) {
            section.header = std::make_shared<Label>(title);
            section.header->setAccessibilityTraits(Trait::header);
            section.header->setTextColor(Color::gray());
            section.header->setFontSize(13);
            addSubview(section.header);
        }
        const int rows = source_.rows ? source_.rows(s) : 0;
        section.cells.reserve(static_cast<std::size_t>(std::max(rows, 0)));
        for (int r = 0; r < rows; ++r) {
            auto cell = source_.cell ? source_.cell({s, r}) : nullptr;
            if (!cell) cell = std::make_shared<TableViewCell>();
            cell->table_ = self;
            cell->indexPath_ = {s, r};
            addSubview(cell);
            section.cells.push_back(std::move(cell));
        }
        sections_.push_back(std::move(section));
    }
    if (selected_ && !cellForRow(*selected_)) selected_.reset();
    layoutSubviews();
}

int TableView::numberOfRows(int section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return static_cast<int>(sections_[section].cells.size());
}

std::shared_ptr<TableViewCell> TableView::cellForRow(IndexPath path) const {
    if (path.row < 0 || path.row >= numberOfRows(path.section)) return nullptr;
    return sections_[path.section].cells[path.row];
}

Rect TableView::rectForRow(IndexPath path) const {
    auto cell = cellForRow(path);
    return cell ? cell->frame() : Rect{};
}

void TableView::scrollToRow(IndexPath path) {
    if (auto cell = cellForRow(path)) scrollRectToVisible(cell->frame());
}

bool TableView::selectRow(IndexPath path) {
    auto cell = cellForRow(path);
    if (!cell || !cell->isSelectable() || !receivesTouches()) return false;
    selected_ = path;
    if (source_.didSelect) {
        auto handler = source_.didSelect;
        handler(path);
    }
    return true;
}

std::vector<ContextualAction> TableView::swipeActions(IndexPath path, bool leading) const {
    if (!cellForRow(path)) return {};
    const auto& fn = leading ? source_.leadingSwipeActions : source_.trailingSwipeActions;
    return fn ? fn(path) : std::vector<ContextualAction>{};
}

bool TableView::swipeRow(IndexPath path, bool towardsRight) {
    if (!receivesTouches()) return false;
    auto actions = swipeActions(path, towardsRight);
    if (actions.empty() || !actions.front().handler) return false;
    return actions.front().handler();
}

void TableView::layoutSubviews() {
    const double width = frame().width;
    double y = 0;
    for (std::size_t s = 0; s < sections_.size(); ++s) {
        auto& section = sections_[s];
        if (section.header) {
            section.header->setFrame({margin, y, width - 2 * margin, headerHeight});
            y += headerHeight;
        }
        for (std::size_t r = 0; r < section.cells.size(); ++r) {
            const IndexPath path{static_cast<int>(s), static_cast<int>(r)};
            const double h = source_.height ? source_.height(path) : rowHeight_;
            section.cells[r]->setFrame({0, y, width, h});
            y += h;
        }
    }
    setContentSize({width, y});
}

}  // namespace ui
