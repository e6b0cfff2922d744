#include "platform/ui/CollectionView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Label.h"

namespace ui {

namespace {
void collectTexts(const View& view, std::string& out) {
    for (const auto& sub : view.subviews()) {
        if (sub->isHidden()) continue;
        if (sub->role() == Role::staticText) {
            const std::string text = sub->accessibilityLabel();
            if (!text.empty()) {
                if (!out.empty()) out += ", ";
                out += text;
            }
        }
        collectTexts(*sub, out);
    }
}
}  // namespace

std::string CollectionViewCell::defaultAccessibilityLabel() const {
    std::string text;
    collectTexts(*this, text);
    return text;
}

bool CollectionViewCell::tap() {
    if (!receivesTouches()) return false;
    auto collection = collection_.lock();
    return collection && collection->selectItem(item_);
}

CollectionView::CollectionView() = default;

CollectionView::CollectionView(const Rect& frame) : ScrollView(frame) {}

void CollectionView::setSource(Source source) {
    source_ = std::move(source);
    reloadData();
}

void CollectionView::reloadData() {
    for (auto& cell : cells_) {
        cell->removeFromSuperview();
        cell->collection_.reset();
    }
    cells_.clear();
    auto self = std::static_pointer_cast<CollectionView>(shared_from_this());
    const int count = source_.items ? source_.items() : 0;
    for (int i = 0; i < count; ++i) {
        auto cell = source_.cell ? source_.cell(i) : nullptr;
        if (!cell) cell = std::make_shared<CollectionViewCell>();
        cell->collection_ = self;
        cell->item_ = i;
        addSubview(cell);
        cells_.push_back(std::move(cell));
    }
    if (selected_ && *selected_ >= count) selected_.reset();
    layoutSubviews();
}

std::shared_ptr<CollectionViewCell> CollectionView::cellForItem(int item) const {
    if (item < 0 || item >= numberOfItems()) return nullptr;
    return cells_[item];
}

bool CollectionView::selectItem(int item) {
    if (!cellForItem(item) || !receivesTouches()) return false;
    selected_ = item;
    if (source_.didSelect) {
        auto handler = source_.didSelect;
        handler(item);
    }
    return true;
}

void CollectionView::layoutSubviews() {
    const double width = frame().width;
    const double stride = itemSize_.width + spacing_;
    const int columns = std::max(1, stride > 0 ? static_cast<int>(std::floor((width - spacing_) / stride)) : 1);
    int row = 0;
    for (int i = 0; i < numberOfItems(); ++i) {
        row = i / columns;
        const int column = i % columns;
        cells_[i]->setFrame({spacing_ + column * stride, spacing_ + row * (itemSize_.height + spacing_),
                             itemSize_.width, itemSize_.height});
    }
    const int rows = numberOfItems() == 0 ? 0 : row + 1;
    setContentSize({width, spacing_ + rows * (itemSize_.height + spacing_)});
}

}  // namespace ui
