// A collection: a grid of item cells (one section) built from a source of functions, laid out in
// as many columns as fit; a person taps an item to select it.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/ui/ScrollView.h"

namespace ui {

class CollectionView;

class CollectionViewCell : public View {
public:
    using View::View;

    std::string_view className() const override { return "UICollectionViewCell"; }
    Role role() const override { return Role::cell; }

    int item() const { return item_; }
    std::shared_ptr<CollectionView> collectionView() const { return collection_.lock(); }
    // A person's tap selects the item.
    bool tap() override;

protected:
    // The texts of the labels inside, joined with ", ".
    std::string defaultAccessibilityLabel() const override;

private:
    friend class CollectionView;
    std::weak_ptr<CollectionView> collection_;
    int item_ = 0;
};

class CollectionView : public ScrollView {
public:
    struct Source {
        std::function<int()> items;                                      // required
        std::function<std::shared_ptr<CollectionViewCell>(int item)> cell;  // default: a plain cell
        std::function<void(int item)> didSelect;
    };

    CollectionView();
    explicit CollectionView(const Rect& frame);

    std::string_view className() const override { return "UICollectionView"; }

    void setSource(Source source);
    void reloadData();
    Size itemSize() const { return itemSize_; }
    void setItemSize(Size size) { itemSize_ = size; }
    double spacing() const { return spacing_; }
    void setSpacing(double spacing) { spacing_ = spacing; }

    int numberOfItems() const { return static_cast<int>(cells_.size()); }
    std::shared_ptr<CollectionViewCell> cellForItem(int item) const;
    // A person's tap on the item; false when it does not exist or the view cannot be touched.
    bool selectItem(int item);
    std::optional<int> selectedItem() const { return selected_; }

    void layoutSubviews() override;

private:
    Source source_;
    std::vector<std::shared_ptr<CollectionViewCell>> cells_;
    std::optional<int> selected_;
    Size itemSize_{100, 100};
    double spacing_ = 8;
};

}  // namespace ui
