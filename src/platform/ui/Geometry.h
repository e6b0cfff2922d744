// Points, sizes, rectangles and insets in points, the coordinates every view of the toolkit uses.
// A view's frame is in its superview's coordinates; a window's coordinates are the screen's.
#pragma once

#include <algorithm>

namespace ui {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct EdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
    bool operator==(const EdgeInsets&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    Point center() const { return {midX(), midY()}; }
    bool isEmpty() const { return !(width > 0) || !(height > 0); }

    Rect offsetBy(double dx, double dy) const { return {x + dx, y + dy, width, height}; }
    Rect insetBy(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
    Rect inset(const EdgeInsets& e) const {
        return {x + e.left, y + e.top, width - e.left - e.right, height - e.top - e.bottom};
    }
    // The overlap of two rectangles; an empty rectangle (zero size) when they do not overlap.
    Rect intersection(const Rect& o) const {
        const double x0 = std::max(minX(), o.minX());
        const double y0 = std::max(minY(), o.minY());
        const double x1 = std::min(maxX(), o.maxX());
        const double y1 = std::min(maxY(), o.maxY());
        if (x1 <= x0 || y1 <= y0) return {x0, y0, 0, 0};
        return {x0, y0, x1 - x0, y1 - y0};
    }
    bool intersects(const Rect& o) const { return !intersection(o).isEmpty(); }
    // Half-open containment: a point on the right or bottom edge is outside.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    bool contains(const Rect& o) const {
        return o.minX() >= minX() && o.maxX() <= maxX() && o.minY() >= minY() && o.maxY() <= maxY();
    }
};

}  // namespace ui
