#include "platform/ui/Image.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/HumanCheckView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Window.h"

namespace ui {

namespace {

std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

// ---- PNG ----

const std::array<std::uint32_t, 256>& crcTable() {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0xFFFFFFFFu) {
    const auto& table = crcTable();
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out.data() + start, out.size() - start) ^ 0xFFFFFFFFu);
}

// ---- drawing ----

struct Canvas {
    Image& image;
    double scale;

    void fill(const Rect& r, const Color& color, const Rect& clip, double alpha) {
        const double a = color.alpha * alpha;
        if (a <= 0) return;
        const Rect c = r.intersection(clip);
        if (c.isEmpty()) return;
        const int x0 = std::max(0, static_cast<int>(std::floor(c.minX() * scale)));
        const int y0 = std::max(0, static_cast<int>(std::floor(c.minY() * scale)));
        const int x1 = std::min(image.width, static_cast<int>(std::ceil(c.maxX() * scale)));
        const int y1 = std::min(image.height, static_cast<int>(std::ceil(c.maxY() * scale)));
        const double src[3] = {color.red * 255, color.green * 255, color.blue * 255};
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* p = image.rgba.data() + (static_cast<std::size_t>(y) * image.width + x0) * 4;
            for (int x = x0; x < x1; ++x, p += 4) {
                for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(std::lround(src[k] * a + p[k] * (1 - a)));
                p[3] = static_cast<std::uint8_t>(std::lround(255 * a + p[3] * (1 - a)));
            }
        }
    }

    // Text as a bar as long as the text would run, centred vertically.
    void text(const Rect& r, std::string_view text, double size, const Color& color, const Rect& clip, double alpha,
              bool centred) {
        if (text.empty()) return;
        std::size_t chars = 0;
        for (unsigned char ch : text) chars += (ch & 0xC0) != 0x80;
        const double w = std::min(r.width, static_cast<double>(chars) * size * 0.5);
        const double h = size * 0.6;
        const double x = centred ? r.midX() - w / 2 : r.minX();
        fill({x, r.midY() - h / 2, w, h}, color, clip, alpha);
    }

    void frame(const Rect& r, const Color& color, const Rect& clip, double alpha) {
        fill({r.x, r.y, r.width, 1}, color, clip, alpha);
        fill({r.x, r.maxY() - 1, r.width, 1}, color, clip, alpha);
        fill({r.x, r.y, 1, r.height}, color, clip, alpha);
        fill({r.maxX() - 1, r.y, 1, r.height}, color, clip, alpha);
    }

    void picture(const Rect& r, const Image& src, const Rect& clip, double alpha) {
        if (src.isEmpty() || r.isEmpty()) return;
        const Rect c = r.intersection(clip);
        const int x0 = std::max(0, static_cast<int>(std::floor(c.minX() * scale)));
        const int y0 = std::max(0, static_cast<int>(std::floor(c.minY() * scale)));
        const int x1 = std::min(image.width, static_cast<int>(std::ceil(c.maxX() * scale)));
        const int y1 = std::min(image.height, static_cast<int>(std::ceil(c.maxY() * scale)));
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const int sx = std::clamp(static_cast<int>((x / scale - r.x) / r.width * src.width), 0, src.width - 1);
                const int sy = std::clamp(static_cast<int>((y / scale - r.y) / r.height * src.height), 0, src.height - 1);
                const Color px = src.pixel(sx, sy);
                fill({x / scale, y / scale, 1 / scale, 1 / scale}, px, clip, alpha);
            }
        }
    }
};

struct Style {
    bool dark = false;
    Color background(const Color& c) const {
        if (dark && c == Color::white()) return Color::rgb(28, 28, 30);
        return c;
    }
    Color ink(const Color& c) const {
        if (dark && c == Color::black()) return Color::white();
        return c;
    }
};

void drawContent(Canvas& canvas, const View& view, const Rect& f, const Rect& clip, double alpha, const Style& style) {
    const Color gray = Color::gray();
    switch (view.role()) {
    case Role::staticText: {
        const auto& label = static_cast<const Label&>(view);
        canvas.text(f, label.text(), label.fontSize(), style.ink(label.textColor()), clip, alpha, false);
        break;
    }
    case Role::button: {
        const auto& button = static_cast<const Button&>(view);
        const Color ink = button.isEnabled() ? button.titleColor() : gray;
        canvas.text(f, button.title(), 17, ink, clip, alpha, true);
        break;
    }
    case Role::toggle: {
        const auto& sw = static_cast<const Switch&>(view);
        const Rect track{f.minX(), f.midY() - 15.5, 51, 31};
        canvas.fill(track, sw.isOn() ? Color::systemGreen() : Color::lightGray(), clip, alpha);
        canvas.fill({sw.isOn() ? track.maxX() - 29 : track.minX() + 2, track.minY() + 2, 27, 27}, Color::white(),
                    clip, alpha);
        break;
    }
    case Role::textField: {
        const auto& field = static_cast<const TextField&>(view);
        canvas.frame(f, Color::lightGray(), clip, alpha);
        const Rect inner = f.insetBy(8, 0);
        if (field.text().empty()) {
            canvas.text(inner, field.placeholder(), 17, gray, clip, alpha, false);
        } else {
            canvas.text(inner, field.accessibilityValue(), 17, style.ink(Color::black()), clip, alpha, false);
        }
        break;
    }
    case Role::textView: {
        const auto& tv = static_cast<const TextView&>(view);
        std::size_t start = 0;
        double y = f.minY() + 4;
        const std::string& text = tv.text();
        while (start <= text.size() && y < f.maxY()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            canvas.text({f.minX() + 4, y, f.width - 8, 22}, std::string_view(text).substr(start, end - start), 17,
                        style.ink(Color::black()), clip, alpha, false);
            y += 22;
            start = end + 1;
        }
        break;
    }
    case Role::segmented: {
        const auto& seg = static_cast<const SegmentedControl&>(view);
        canvas.frame(f, Color::systemBlue(), clip, alpha);
        const auto& items = seg.segments();
        const double w = items.empty() ? 0 : f.width / static_cast<double>(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Rect cell{f.minX() + w * static_cast<double>(i), f.minY(), w, f.height};
            const bool on = static_cast<int>(i) == seg.selectedSegmentIndex();
            if (on) canvas.fill(cell, Color::systemBlue(), clip, alpha);
            canvas.text(cell, items[i], 13, on ? Color::white() : Color::systemBlue(), clip, alpha, true);
        }
        break;
    }
    case Role::picker: {
        const auto& picker = static_cast<const PickerView&>(view);
        const Rect row{f.minX(), f.midY() - 17, f.width, 34};
        canvas.fill(row, Color::lightGray(), clip, alpha);
        canvas.text(row, picker.selectedTitle(), 20, style.ink(Color::black()), clip, alpha, true);
        break;
    }
    case Role::slider: {
        const auto& slider = static_cast<const Slider&>(view);
        const double span = slider.maximumValue() - slider.minimumValue();
        const double part = span > 0 ? (slider.value() - slider.minimumValue()) / span : 0;
        canvas.fill({f.minX(), f.midY() - 2, f.width, 4}, Color::lightGray(), clip, alpha);
        canvas.fill({f.minX(), f.midY() - 2, f.width * part, 4}, Color::systemBlue(), clip, alpha);
        canvas.fill({f.minX() + f.width * part - 14, f.midY() - 14, 28, 28}, Color::white(), clip, alpha);
        canvas.frame({f.minX() + f.width * part - 14, f.midY() - 14, 28, 28}, Color::lightGray(), clip, alpha);
        break;
    }
    case Role::tab: {
        const auto& tab = static_cast<const TabBarButton&>(view);
        canvas.text(f, tab.title(), 10, tab.isSelected() ? Color::systemBlue() : gray, clip, alpha, true);
        break;
    }
    case Role::cell: {
        canvas.fill({f.minX() + 16, f.maxY() - 1, f.width - 16, 1}, Color::lightGray(), clip, alpha);
        if (const auto* cell = dynamic_cast<const TableViewCell*>(&view)) {
            if (cell->accessoryType() == AccessoryType::checkmark) {
                canvas.fill({f.maxX() - 30, f.midY() - 2, 12, 4}, Color::systemBlue(), clip, alpha);
            } else if (cell->accessoryType() == AccessoryType::disclosureIndicator) {
                canvas.fill({f.maxX() - 26, f.midY() - 6, 4, 12}, gray, clip, alpha);
            }
        }
        break;
    }
    case Role::image: {
        const auto& iv = static_cast<const ImageView&>(view);
        if (iv.image()) canvas.picture(f, *iv.image(), clip, alpha);
        break;
    }
    case Role::humanCheck: {
        const auto& check = static_cast<const HumanCheckView&>(view);
        canvas.frame(f, gray, clip, alpha);
        canvas.frame({f.minX() + 12, f.midY() - 12, 24, 24}, gray, clip, alpha);
        canvas.text({f.minX() + 48, f.minY(), f.width - 56, f.height}, check.prompt(), 17, style.ink(Color::black()),
                    clip, alpha, false);
        break;
    }
    case Role::web:
    case Role::none:
    case Role::scroll:
    case Role::window: break;
    }
}

void drawTree(Canvas& canvas, const View& view, Point origin, const Rect& clip, double alpha, const Style& style,
              bool isRoot) {
    if (view.isHidden() || view.alpha() < 0.01) return;
    const double a = alpha * view.alpha();
    const Rect f = isRoot ? Rect{0, 0, view.frame().width, view.frame().height}
                          : view.frame().offsetBy(origin.x, origin.y);
    canvas.fill(f, style.background(view.backgroundColor()), clip, a);
    drawContent(canvas, view, f, clip, a, style);
    const Rect inner = view.clipsToBounds() ? clip.intersection(f) : clip;
    if (inner.isEmpty() && view.clipsToBounds()) return;
    const Point childOrigin{f.minX() - view.boundsOrigin().x, f.minY() - view.boundsOrigin().y};
    for (const auto& sub : view.subviews()) drawTree(canvas, *sub, childOrigin, inner, a, style, false);
}

}  // namespace

Image Image::filled(int width, int height, const Color& color) {
    Image image;
    image.width = std::max(0, width);
    image.height = std::max(0, height);
    image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    const std::uint8_t px[4] = {toByte(color.red), toByte(color.green), toByte(color.blue), toByte(color.alpha)};
    for (std::size_t i = 0; i < image.rgba.size(); i += 4) std::copy(px, px + 4, image.rgba.begin() + i);
    return image;
}

Color Image::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return {};
    const std::uint8_t* p = rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    return {p[0] / 255.0, p[1] / 255.0, p[2] / 255.0, p[3] / 255.0};
}

std::vector<std::uint8_t> Image::pngData() const {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    putChunk(out, "IHDR", header);

    // The scanlines, each led by filter type 0, in stored (uncompressed) deflate blocks.
    std::vector<std::uint8_t> raw;
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    raw.reserve((row + 1) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgba.begin() + static_cast<std::ptrdiff_t>(y * row),
                   rgba.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
    }
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n & 0xFF));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n & 0xFF));
        z.push_back(static_cast<std::uint8_t>((~n >> 8) & 0xFF));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos), raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBigEndian(z, (b << 16) | a);
    putChunk(out, "IDAT", z);
    putChunk(out, "IEND", {});
    return out;
}

Image ImageRenderer::image(const View& view) const {
    const int w = std::max(0, static_cast<int>(std::lround(size_.width * scale_)));
    const int h = std::max(0, static_cast<int>(std::lround(size_.height * scale_)));
    Image image = Image::filled(w, h, Color::clear());
    image.scale = scale_;
    Canvas canvas{image, scale_};
    Style style;
    if (auto window = view.window()) style.dark = window->interfaceStyle() == InterfaceStyle::dark;
    drawTree(canvas, view, {}, Rect{0, 0, size_.width, size_.height}, 1, style, true);
    return image;
}

}  // namespace ui
