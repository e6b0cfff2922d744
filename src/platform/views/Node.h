// Declarative views: a screen described as a tree of values. A node has a kind (a stack, a text,
// a button, a shape, ...) and the modifiers that style it as plain fields (font, colours,
// padding, background and overlay nodes, accessibility, hit testing, animation). Nothing here
// draws: a tree is built by a function, shown by ui::HostingView, and read by tests and hosts
// field by field, as the drawing layer of a real platform would read it.
//
// Trees are built with small constructors and modifiers joined by `|`:
//     Text("Download") | font(TextStyle::subheadline, Weight::bold) | foreground(Color::white())
// and every field stays public, so a tree can also be built or changed by hand.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace views {

// ---- colours and paints ----

// An sRGB colour with components and opacity from 0 to 1.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double opacity = 1;

    bool operator==(const Color&) const = default;

    constexpr Color withOpacity(double o) const { return {red, green, blue, o}; }
    // A grey of the given white level.
    static constexpr Color white(double level = 1, double o = 1) { return {level, level, level, o}; }
    static constexpr Color black(double o = 1) { return {0, 0, 0, o}; }
    static constexpr Color clear() { return {0, 0, 0, 0}; }
    static constexpr Color systemRed() { return {1, 59.0 / 255.0, 48.0 / 255.0, 1}; }
};

// A point in unit coordinates of a shape: (0, 0) is the top-leading corner, (1, 1) the
// bottom-trailing one.
struct UnitPoint {
    double x = 0;
    double y = 0;

    bool operator==(const UnitPoint&) const = default;

    static constexpr UnitPoint topLeading() { return {0, 0}; }
    static constexpr UnitPoint top() { return {0.5, 0}; }
    static constexpr UnitPoint center() { return {0.5, 0.5}; }
    static constexpr UnitPoint bottom() { return {0.5, 1}; }
    static constexpr UnitPoint bottomTrailing() { return {1, 1}; }
};

// A linear gradient from the first colour at startPoint to the second at endPoint.
struct LinearGradient {
    std::array<Color, 2> colors;
    UnitPoint startPoint;
    UnitPoint endPoint;

    bool operator==(const LinearGradient&) const = default;
};

// A colour that follows the system's appearance: the primary text colour, the dimmer
// secondary and tertiary ones, and the accent (tint) colour.
enum class SemanticStyle : std::uint8_t { primary, secondary, tertiary, tint };

// What a text, symbol or shape is painted with.
using Paint = std::variant<Color, LinearGradient, SemanticStyle>;

// ---- fonts ----

enum class TextStyle : std::uint8_t {
    largeTitle,
    title,
    title2,
    title3,
    headline,
    subheadline,
    body,
    callout,
    footnote,
    caption,
    caption2,
};

enum class Weight : std::uint8_t { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

struct Font {
    TextStyle style = TextStyle::body;
    Weight weight = Weight::regular;
    // Digits all take the same width, so changing numbers do not jitter.
    bool monospacedDigits = false;

    bool operator==(const Font&) const = default;
};

// ---- layout and shapes ----

enum class Alignment : std::uint8_t {
    center,
    leading,
    trailing,
    top,
    bottom,
    topLeading,
    topTrailing,
    bottomLeading,
    bottomTrailing,
};

// Padding per edge, in points; negative padding draws a node outside the frame it decorates.
struct Insets {
    double top = 0;
    double leading = 0;
    double bottom = 0;
    double trailing = 0;

    bool operator==(const Insets&) const = default;
    Insets operator+(const Insets& o) const {
        return {top + o.top, leading + o.leading, bottom + o.bottom, trailing + o.trailing};
    }
};

// Which edges a padding applies to, as bits.
namespace Edge {
inline constexpr std::uint8_t top = 1;
inline constexpr std::uint8_t leading = 2;
inline constexpr std::uint8_t bottom = 4;
inline constexpr std::uint8_t trailing = 8;
inline constexpr std::uint8_t horizontal = leading | trailing;
inline constexpr std::uint8_t vertical = top | bottom;
inline constexpr std::uint8_t all = horizontal | vertical;
}  // namespace Edge

enum class LineCap : std::uint8_t { butt, round, square };

struct Stroke {
    Paint paint;
    double lineWidth = 1;
    LineCap lineCap = LineCap::butt;

    bool operator==(const Stroke&) const = default;
};

// The part of a shape's outline that is drawn, as fractions of its length.
struct Trim {
    double from = 0;
    double to = 1;

    bool operator==(const Trim&) const = default;
};

enum class CornerStyle : std::uint8_t { circular, continuous };

enum class Curve : std::uint8_t { linear, easeIn, easeOut, easeInOut, spring };

// How changes of a node animate.
struct Animation {
    Curve curve = Curve::easeInOut;
    double duration = 0.35;  // seconds

    bool operator==(const Animation&) const = default;
};

// A fixed size for a node, per dimension; an absent dimension follows the content.
struct Frame {
    std::optional<double> width;
    std::optional<double> height;

    bool operator==(const Frame&) const = default;
};

struct Accessibility {
    std::string identifier;
    std::optional<std::string> label;
    std::optional<std::string> value;
    // The node is one accessibility element; its children are not read on their own.
    bool childrenIgnored = false;

    bool operator==(const Accessibility&) const = default;
};

// ---- the node ----

enum class Kind : std::uint8_t {
    empty,             // shows nothing
    vstack,            // children top to bottom
    hstack,            // children leading to trailing
    zstack,            // children layered, the first at the back
    text,              // `text`
    label,             // `text` beside the system symbol `systemImage`
    image,             // the system symbol `systemImage`
    button,            // its label is children[0]; pressing runs `action`
    toggle,            // a switch: its label is children[0], `isOn`, and `onToggle` when flipped
    progress,          // a linear progress bar of `value` out of `total`
    spacer,            // flexible space along its stack
    circle,            // shapes: `fill`, `stroke`, `trim`, `rotation`
    roundedRectangle,  // ... with `cornerRadius` and `cornerStyle`
    capsule,
};

struct Node {
    Kind kind = Kind::empty;

    // ---- content ----
    std::string text;
    std::string systemImage;
    std::vector<Node> children;
    Alignment alignment = Alignment::center;  // of a stack's children
    std::optional<double> spacing;            // between a stack's children; absent: the default
    std::function<void()> action;             // button
    bool isOn = false;                        // toggle
    std::function<void(bool)> onToggle;       // toggle: told the new state
    double value = 0;                         // progress
    double total = 1;
    std::optional<double> minLength;  // spacer

    // ---- shapes ----
    std::optional<Paint> fill;
    std::optional<Stroke> stroke;
    Trim trim;
    double rotation = 0;  // degrees, clockwise, about the centre
    double cornerRadius = 0;
    CornerStyle cornerStyle = CornerStyle::circular;

    // ---- modifiers ----
    std::optional<Font> font;
    std::optional<Paint> foreground;
    std::optional<Color> tint;
    Insets padding;
    // Drawn behind and in front of the node (padding included), sized like it.
    std::shared_ptr<const Node> background;
    std::shared_ptr<const Node> overlay;
    std::optional<int> lineLimit;
    Accessibility accessibility;
    bool hitTesting = true;
    std::optional<Animation> animation;
    Frame frame;
    double opacity = 1;

    // Value equality of the whole tree; `action` and `onToggle` are compared only for presence.
    bool operator==(const Node& other) const;

    // The node's background and overlay, when present.
    const Node* backgroundNode() const { return background.get(); }
    const Node* overlayNode() const { return overlay.get(); }
};

// ---- constructors ----

Node Empty();
Node VStack(std::vector<Node> children, Alignment alignment = Alignment::center,
            std::optional<double> spacing = std::nullopt);
Node HStack(std::vector<Node> children, Alignment alignment = Alignment::center,
            std::optional<double> spacing = std::nullopt);
Node ZStack(std::vector<Node> children, Alignment alignment = Alignment::center);
Node Text(std::string text);
Node Label(std::string text, std::string systemImage);
Node Image(std::string systemImage);
Node Button(Node label, std::function<void()> action);
// A button whose label is a text.
Node Button(std::string title, std::function<void()> action);
Node Toggle(std::string title, bool isOn, std::function<void(bool)> onToggle);
Node ProgressView(double value, double total = 1);
Node Spacer(std::optional<double> minLength = std::nullopt);
Node Circle();
Node RoundedRectangle(double cornerRadius, CornerStyle style = CornerStyle::circular);
Node Capsule();

// ---- modifiers ----

// A change applied to a node; `node | modifier` returns the changed node.
struct Modifier {
    std::function<void(Node&)> apply;
};
Node operator|(Node node, const Modifier& modifier);

Modifier font(TextStyle style, Weight weight = Weight::regular);
Modifier font(Font font);
Modifier monospacedDigit();
Modifier fontWeight(Weight weight);
Modifier foreground(Paint paint);
Modifier tint(Color color);
// Adds padding on the given edges (Edge bits); may be negative.
Modifier padding(double points, std::uint8_t edges = Edge::all);
Modifier padding(Insets insets);
Modifier background(Node node);
Modifier overlay(Node node);
Modifier fill(Paint paint);
Modifier stroke(Paint paint, double lineWidth = 1, LineCap cap = LineCap::butt);
Modifier trim(double from, double to);
Modifier rotation(double degrees);
Modifier lineLimit(int lines);
Modifier identifier(std::string id);
Modifier accessibilityLabel(std::string label);
Modifier accessibilityValue(std::string value);
// Makes the node one accessibility element whose children are not read on their own.
Modifier accessibilityChildrenIgnored();
Modifier hitTesting(bool enabled);
Modifier animation(Curve curve, double duration);
Modifier frame(std::optional<double> width, std::optional<double> height);
Modifier opacity(double value);

// ---- reading a tree ----

// Calls fn on every node of the tree, depth first, each node before its background, its
// children and its overlay. Stops early when fn returns false; answers whether it went through.
bool visit(const Node& root, const std::function<bool(const Node&)>& fn);
// The first node with that accessibility identifier, or nothing.
const Node* findByIdentifier(const Node& root, std::string_view identifier);
// The first node whose own text is exactly `text` (texts, labels, buttons' text labels), or nothing.
const Node* findByText(const Node& root, std::string_view text);
// The first button or toggle with that identifier, or whose label shows that text.
const Node* findControl(const Node& root, std::string_view identifierOrText);
// Every text the tree shows (texts and labels), in reading order.
std::vector<std::string> texts(const Node& root);
// Every accessibility identifier in the tree, in reading order.
std::vector<std::string> identifiers(const Node& root);
// A person's press on the control findControl would find (a toggle flips), passing over subtrees
// with hit testing off; false when there is none or it has no action.
bool press(const Node& root, std::string_view identifierOrText);

}  // namespace views
