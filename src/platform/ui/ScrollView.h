// A scroll view: shows a window onto content larger than itself. The content offset is the origin
// of its bounds; subviews sit in content coordinates. A person scrolls a page at a time, or a page
// sideways when paging is on.
#pragma once

#include <functional>
#include <vector>

#include "platform/ui/View.h"

namespace ui {

// Which part of the content comes into view: `down` shows what lies below.
enum class ScrollDirection : std::uint8_t { up, down, left, right };

class ScrollView : public View {
public:
    ScrollView();
    explicit ScrollView(const Rect& frame);

    std::string_view className() const override { return "UIScrollView"; }
    Role role() const override { return Role::scroll; }

    Size contentSize() const { return contentSize_; }
    void setContentSize(Size size) { contentSize_ = size; }
    Point contentOffset() const { return boundsOrigin(); }
    // Moves the content as code does (not clamped) and tells the observers.
    void setContentOffset(Point offset);
    // The largest offset that still shows content: content size minus the view's size (not less
    // than zero).
    Point maximumContentOffset() const;

    bool isPagingEnabled() const { return paging_; }
    void setPagingEnabled(bool paging) { paging_ = paging; }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }

    bool canScrollVertically() const;
    bool canScrollHorizontally() const;
    // At the end of the content in that direction (within half a point).
    bool isAtEnd(ScrollDirection direction) const;

    // A person's scroll by one page (the view's height, or width sideways; with paging the next
    // page exactly), clamped to the content. False when it could not move.
    bool scrollPage(ScrollDirection direction);
    // Scrolls the least distance that brings the rectangle (content coordinates) into view.
    bool scrollRectToVisible(const Rect& rect);

    // Sideways pages of a paging scroll view.
    int numberOfPages() const;
    int currentPage() const;

    // Told after every change of the offset.
    int addScrollObserver(std::function<void(ScrollView&)> observer);
    void removeScrollObserver(int id);

private:
    struct Observer {
        int id;
        std::function<void(ScrollView&)> fn;
    };
    std::vector<Observer> observers_;
    Size contentSize_;
    int nextObserver_ = 1;
    bool paging_ = false;
    bool scrollEnabled_ = true;
};

}  // namespace ui
