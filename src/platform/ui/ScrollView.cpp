#include "platform/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

namespace ui {

ScrollView::ScrollView() { setClipsToBounds(true); }

ScrollView::ScrollView(const Rect& frame) : View(frame) { setClipsToBounds(true); }

void ScrollView::setContentOffset(Point offset) {
    if (offset == contentOffset()) return;
    setBoundsOriginInternal(offset);
    auto keep = shared_from_this();
    std::vector<std::function<void(ScrollView&)>> due;
    for (const auto& o : observers_) due.push_back(o.fn);
    for (auto& fn : due) fn(*this);
}

Point ScrollView::maximumContentOffset() const {
    return {std::max(0.0, contentSize_.width - frame().width), std::max(0.0, contentSize_.height - frame().height)};
}

bool ScrollView::canScrollVertically() const { return scrollEnabled_ && contentSize_.height > frame().height + 0.5; }

bool ScrollView::canScrollHorizontally() const { return scrollEnabled_ && contentSize_.width > frame().width + 0.5; }

bool ScrollView::isAtEnd(ScrollDirection direction) const {
    const Point offset = contentOffset();
    const Point max = maximumContentOffset();
    switch (direction) {
    case ScrollDirection::up: return offset.y <= 0.5;
    case ScrollDirection::down: return offset.y >= max.y - 0.5;
    case ScrollDirection::left: return offset.x <= 0.5;
    case ScrollDirection::right: return offset.x >= max.x - 0.5;
    }
    return true;
}

bool ScrollView::scrollPage(ScrollDirection direction) {
    if (!scrollEnabled_ || !receivesTouches()) return false;
    Point offset = contentOffset();
    const Point max = maximumContentOffset();
    const bool vertical = direction == ScrollDirection::up || direction == ScrollDirection::down;
    if (vertical ? !canScrollVertically() : !canScrollHorizontally()) return false;
    const double sign = direction == ScrollDirection::down || direction == ScrollDirection::right ? 1 : -1;
    if (vertical) {
        offset.y = std::clamp(offset.y + sign * frame().height, 0.0, max.y);
    } else if (paging_ && frame().width > 0) {
        const double page = std::round(offset.x / frame().width) + sign;
        offset.x = std::clamp(page * frame().width, 0.0, max.x);
    } else {
        offset.x = std::clamp(offset.x + sign * frame().width, 0.0, max.x);
    }
    const Point old = contentOffset();
    if (std::abs(offset.x - old.x) < 0.5 && std::abs(offset.y - old.y) < 0.5) return false;
    setContentOffset(offset);
    return true;
}

bool ScrollView::scrollRectToVisible(const Rect& rect) {
    const Point old = contentOffset();
    const Point max = maximumContentOffset();
    Point offset = old;
    const auto fit = [](double start, double length, double lo, double hi) {
        if (lo < start || hi - lo > length) return lo;
        if (hi > start + length) return hi - length;
        return start;
    };
    offset.y = std::clamp(fit(old.y, frame().height, rect.minY(), rect.maxY()), 0.0, max.y);
    offset.x = std::clamp(fit(old.x, frame().width, rect.minX(), rect.maxX()), 0.0, max.x);
    if (offset == old) return false;
    setContentOffset(offset);
    return true;
}

int ScrollView::numberOfPages() const {
    if (frame().width <= 0) return 0;
    return std::max(1, static_cast<int>(std::ceil(contentSize_.width / frame().width - 0.01)));
}

int ScrollView::currentPage() const {
    if (frame().width <= 0) return 0;
    return static_cast<int>(std::round(contentOffset().x / frame().width));
}

int ScrollView::addScrollObserver(std::function<void(ScrollView&)> observer) {
    const int id = nextObserver_++;
    observers_.push_back({id, std::move(observer)});
    return id;
}

void ScrollView::removeScrollObserver(int id) {
    std::erase_if(observers_, [id](const Observer& o) { return o.id == id; });
}

}  // namespace ui
