#include "platform/views/Node.h"

#include <utility>

namespace views {

namespace {

bool sameNode(const std::shared_ptr<const Node>& a, const std::shared_ptr<const Node>& b) {
    if (!a || !b) return !a && !b;
    return *a == *b;
}

Node make(Kind kind) {
    Node node;
    node.kind = kind;
    return node;
}

Node stack(Kind kind, std::vector<Node> children, Alignment alignment, std::optional<double> spacing) {
    Node node = make(kind);
    node.children = std::move(children);
    node.alignment = alignment;
    node.spacing = spacing;
    return node;
}

Modifier modifier(std::function<void(Node&)> fn) { return Modifier{std::move(fn)}; }

// The text a control's label shows: its own text, or the first text of its label node.
const std::string* labelText(const Node& control) {
    if (control.children.empty()) return nullptr;
    const Node& label = control.children.front();
    const std::string* found = nullptr;
    visit(label, [&](const Node& n) {
        if ((n.kind == Kind::text || n.kind == Kind::label) && !n.text.empty()) {
            found = &n.text;
            return false;
        }
        return true;
    });
    return found;
}

}  // namespace

bool Node::operator==(const Node& o) const {
    return kind == o.kind && text == o.text && systemImage == o.systemImage && children == o.children &&
           alignment == o.alignment && spacing == o.spacing && static_cast<bool>(action) == static_cast<bool>(o.action) &&
           isOn == o.isOn && static_cast<bool>(onToggle) == static_cast<bool>(o.onToggle) && value == o.value &&
           total == o.total && minLength == o.minLength && fill == o.fill && stroke == o.stroke && trim == o.trim &&
           rotation == o.rotation && cornerRadius == o.cornerRadius && cornerStyle == o.cornerStyle &&
           font == o.font && foreground == o.foreground && tint == o.tint && padding == o.padding &&
           sameNode(background, o.background) && sameNode(overlay, o.overlay) && lineLimit == o.lineLimit &&
           accessibility == o.accessibility && hitTesting == o.hitTesting && animation == o.animation &&
           frame == o.frame && opacity == o.opacity;
}

// ---- constructors ----

Node Empty() { return make(Kind::empty); }
Node VStack(std::vector<Node> children, Alignment alignment, std::optional<double> spacing) {
    return stack(Kind::vstack, std::move(children), alignment, spacing);
}
Node HStack(std::vector<Node> children, Alignment alignment, std::optional<double> spacing) {
    return stack(Kind::hstack, std::move(children), alignment, spacing);
}
Node ZStack(std::vector<Node> children, Alignment alignment) {
    return stack(Kind::zstack, std::move(children), alignment, std::nullopt);
}
Node Text(std::string text) {
    Node node = make(Kind::text);
    node.text = std::move(text);
    return node;
}
Node Label(std::string text, std::string systemImage) {
    Node node = make(Kind::label);
    node.text = std::move(text);
    node.systemImage = std::move(systemImage);
    return node;
}
Node Image(std::string systemImage) {
    Node node = make(Kind::image);
    node.systemImage = std::move(systemImage);
    return node;
}
Node Button(Node label, std::function<void()> action) {
    Node node = make(Kind::button);
    node.children.push_back(std::move(label));
    node.action = std::move(action);
    return node;
}
Node Button(std::string title, std::function<void()> action) { return Button(Text(std::move(title)), std::move(action)); }
Node Toggle(std::string title, bool isOn, std::function<void(bool)> onToggle) {
    Node node = make(Kind::toggle);
    node.children.push_back(Text(std::move(title)));
    node.isOn = isOn;
    node.onToggle = std::move(onToggle);
    return node;
}
Node ProgressView(double value, double total) {
    Node node = make(Kind::progress);
    node.value = value;
    node.total = total;
    return node;
}
Node Spacer(std::optional<double> minLength) {
    Node node = make(Kind::spacer);
    node.minLength = minLength;
    return node;
}
Node Circle() { return make(Kind::circle); }
Node RoundedRectangle(double cornerRadius, CornerStyle style) {
    Node node = make(Kind::roundedRectangle);
    node.cornerRadius = cornerRadius;
    node.cornerStyle = style;
    return node;
}
Node Capsule() { return make(Kind::capsule); }

// ---- modifiers ----

Node operator|(Node node, const Modifier& m) {
    if (m.apply) m.apply(node);
    return node;
}

Modifier font(TextStyle style, Weight weight) { return font(Font{style, weight, false}); }
Modifier font(Font f) {
    return modifier([f](Node& n) {
        const bool digits = n.font && n.font->monospacedDigits;
        n.font = f;
        n.font->monospacedDigits = f.monospacedDigits || digits;
    });
}
Modifier monospacedDigit() {
    return modifier([](Node& n) {
        if (!n.font) n.font = Font{};
        n.font->monospacedDigits = true;
    });
}
Modifier fontWeight(Weight weight) {
    return modifier([weight](Node& n) {
        if (!n.font) n.font = Font{};
        n.font->weight = weight;
    });
}
Modifier foreground(Paint paint) { return modifier([paint](Node& n) { n.foreground = paint; }); }
Modifier tint(Color color) { return modifier([color](Node& n) { n.tint = color; }); }
Modifier padding(double points, std::uint8_t edges) {
    return padding(Insets{(edges & Edge::top) ? points : 0, (edges & Edge::leading) ? points : 0,
                          (edges & Edge::bottom) ? points : 0, (edges & Edge::trailing) ? points : 0});
}
Modifier padding(Insets insets) { return modifier([insets](Node& n) { n.padding = n.padding + insets; }); }
Modifier background(Node node) {
    auto shared = std::make_shared<const Node>(std::move(node));
    return modifier([shared](Node& n) { n.background = shared; });
}
Modifier overlay(Node node) {
    auto shared = std::make_shared<const Node>(std::move(node));
    return modifier([shared](Node& n) { n.overlay = shared; });
}
Modifier fill(Paint paint) { return modifier([paint](Node& n) { n.fill = paint; }); }
Modifier stroke(Paint paint, double lineWidth, LineCap cap) {
    return modifier([stroke = Stroke{std::move(paint), lineWidth, cap}](Node& n) { n.stroke = stroke; });
}
Modifier trim(double from, double to) { return modifier([from, to](Node& n) { n.trim = Trim{from, to}; }); }
Modifier rotation(double degrees) { return modifier([degrees](Node& n) { n.rotation = degrees; }); }
Modifier lineLimit(int lines) { return modifier([lines](Node& n) { n.lineLimit = lines; }); }
Modifier identifier(std::string id) { return modifier([id = std::move(id)](Node& n) { n.accessibility.identifier = id; }); }
Modifier accessibilityLabel(std::string label) {
    return modifier([label = std::move(label)](Node& n) { n.accessibility.label = label; });
}
Modifier accessibilityValue(std::string value) {
    return modifier([value = std::move(value)](Node& n) { n.accessibility.value = value; });
}
Modifier accessibilityChildrenIgnored() { return modifier([](Node& n) { n.accessibility.childrenIgnored = true; }); }
Modifier hitTesting(bool enabled) { return modifier([enabled](Node& n) { n.hitTesting = enabled; }); }
Modifier animation(Curve curve, double duration) {
    return modifier([a = Animation{curve, duration}](Node& n) { n.animation = a; });
}
Modifier frame(std::optional<double> width, std::optional<double> height) {
    return modifier([f = Frame{width, height}](Node& n) { n.frame = f; });
}
Modifier opacity(double value) { return modifier([value](Node& n) { n.opacity = value; }); }

// ---- reading a tree ----

namespace {
bool walk(const Node& node, const std::function<bool(const Node&)>& fn) {
    if (!fn(node)) return false;
    if (node.background && !walk(*node.background, fn)) return false;
    for (const auto& child : node.children)
        if (!walk(child, fn)) return false;
    if (node.overlay && !walk(*node.overlay, fn)) return false;
    return true;
}
bool matches(const Node& n, std::string_view key) {
    if (n.kind != Kind::button && n.kind != Kind::toggle) return false;
    const std::string* label = labelText(n);
    return n.accessibility.identifier == key || (label && *label == key) ||
           (n.accessibility.label && *n.accessibility.label == key);
}
}  // namespace

bool visit(const Node& root, const std::function<bool(const Node&)>& fn) { return walk(root, fn); }

const Node* findByIdentifier(const Node& root, std::string_view identifier) {
    const Node* found = nullptr;
    visit(root, [&](const Node& n) {
        if (n.accessibility.identifier == identifier) found = &n;
        return found == nullptr;
    });
    return found;
}

const Node* findByText(const Node& root, std::string_view text) {
    const Node* found = nullptr;
    visit(root, [&](const Node& n) {
        if ((n.kind == Kind::text || n.kind == Kind::label) && n.text == text) found = &n;
        return found == nullptr;
    });
    return found;
}

const Node* findControl(const Node& root, std::string_view identifierOrText) {
    const Node* found = nullptr;
    visit(root, [&](const Node& n) {
        if (matches(n, identifierOrText)) found = &n;
        return found == nullptr;
    });
    return found;
}

std::vector<std::string> texts(const Node& root) {
    std::vector<std::string> out;
    visit(root, [&](const Node& n) {
        if (n.kind == Kind::text || n.kind == Kind::label) out.push_back(n.text);
        return true;
    });
    return out;
}

std::vector<std::string> identifiers(const Node& root) {
    std::vector<std::string> out;
    visit(root, [&](const Node& n) {
        if (!n.accessibility.identifier.empty()) out.push_back(n.accessibility.identifier);
        return true;
    });
    return out;
}

namespace {
// Like findControl, but a subtree that takes no touches (hit testing off) is passed over.
const Node* pressable(const Node& n, std::string_view key) {
    if (!n.hitTesting) return nullptr;
    if (matches(n, key)) return &n;
    if (n.background)
        if (const Node* found = pressable(*n.background, key)) return found;
    for (const auto& child : n.children)
        if (const Node* found = pressable(child, key)) return found;
    if (n.overlay)
        if (const Node* found = pressable(*n.overlay, key)) return found;
    return nullptr;
}
}  // namespace

bool press(const Node& root, std::string_view identifierOrText) {
    const Node* control = pressable(root, identifierOrText);
    if (!control) return false;
    if (control->kind == Kind::toggle) {
        if (!control->onToggle) return false;
        // Copied first: the handler may rebuild the tree that holds it.
        auto handler = control->onToggle;
        handler(!control->isOn);
        return true;
    }
    if (!control->action) return false;
    auto handler = control->action;
    handler();
    return true;
}

}  // namespace views
