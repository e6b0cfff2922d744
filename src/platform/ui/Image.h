// A bitmap image: RGBA pixels, 8 bits a channel, rows from the top; PNG encoding for saving and
// sharing. `ImageRenderer` draws a view tree into one (a window picture).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace ui {

class View;

struct Image {
    int width = 0;   // pixels
    int height = 0;  // pixels
    double scale = 1;  // pixels per point
    std::vector<std::uint8_t> rgba;  // width * height * 4 bytes

    bool operator==(const Image&) const = default;

    // An image of the size filled with one colour.
    static Image filled(int width, int height, const Color& color);
    bool isEmpty() const { return width <= 0 || height <= 0; }
    Size size() const { return {width / scale, height / scale}; }
    // The pixel's colour; clear outside the image.
    Color pixel(int x, int y) const;
    // The image as a PNG file (8-bit RGBA, stored without compression).
    std::vector<std::uint8_t> pngData() const;
};

// Draws views into an image of a fixed size: background colours with their transparency, and for
// the controls a plain likeness (text as bars, switch tracks, field borders, slider thumbs).
class ImageRenderer {
public:
    explicit ImageRenderer(Size size, double scale = 1) : size_(size), scale_(scale) {}
    // The view and its visible subviews, the view's bounds at the image's top left corner.
    Image image(const View& view) const;

private:
    Size size_;
    double scale_;
};

}  // namespace ui
