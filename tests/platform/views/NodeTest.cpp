// Node trees as values: modifiers, equality, reading and pressing.
#include <gtest/gtest.h>

#include "platform/views/Node.h"

namespace views {
namespace {

TEST(ViewsModifiers, ComposeWithoutLosingEarlierOnes) {
    // Padding adds up per edge and may go negative; a later font keeps monospaced digits.
    const Node n = Text("42%") | monospacedDigit() | font(TextStyle::caption) | padding(12) |
                   padding(-5, Edge::horizontal) | foreground(SemanticStyle::secondary);
    ASSERT_TRUE(n.font);
    EXPECT_EQ(n.font->style, TextStyle::caption);
    EXPECT_TRUE(n.font->monospacedDigits);
    EXPECT_EQ(n.padding, (Insets{12, 7, 12, 7}));
    EXPECT_EQ(n.foreground, Paint(SemanticStyle::secondary));

    const Node weighted = Text("t") | font(TextStyle::subheadline) | fontWeight(Weight::bold);
    EXPECT_EQ(weighted.font, (Font{TextStyle::subheadline, Weight::bold, false}));
}

TEST(ViewsModifiers, CopiesAreIndependentValues) {
    const Node original = Text("a") | background(RoundedRectangle(14, CornerStyle::continuous) | fill(Color::white(0.1)));
    Node copy = original;
    copy = std::move(copy) | background(Capsule());
    copy.children.push_back(Text("b"));
    ASSERT_NE(original.backgroundNode(), nullptr);
    EXPECT_EQ(original.backgroundNode()->kind, Kind::roundedRectangle);
    EXPECT_EQ(original.backgroundNode()->cornerStyle, CornerStyle::continuous);
    EXPECT_TRUE(original.children.empty());
    EXPECT_NE(copy, original);
}

TEST(ViewsEquality, ComparesTheWholeTree) {
    auto ring = [](double to, double alpha) {
        return ZStack({Circle() | stroke(Color::black(0.35), 4),
                       Circle() | trim(0, to) | stroke(Color::white(), 4, LineCap::round) | rotation(-90)}) |
               overlay(Text("x") | opacity(alpha));
    };
    EXPECT_EQ(ring(0.5, 1), ring(0.5, 1));
    EXPECT_NE(ring(0.5, 1), ring(0.25, 1)) << "a child's trim";
    EXPECT_NE(ring(0.5, 1), ring(0.5, 0.5)) << "a node inside the overlay";
    // Actions cannot be compared; their presence is.
    EXPECT_EQ(Button("Go", [] {}), Button("Go", [] {}));
    EXPECT_NE(Button("Go", [] {}), Button("Go", nullptr));
}

TEST(ViewsReading, FindsTextsIdentifiersAndControlsInReadingOrder) {
    const Node tree = VStack({Text("Title"),
                              HStack({Label("Cellular", "antenna.radiowaves.left.and.right"),
                                      Button(Text("Download") | fontWeight(Weight::bold), [] {}) | identifier("dl")}) |
                                  background(Text("behind")),
                              Spacer()}) |
                      overlay(Text("front") | identifier("top"));
    EXPECT_EQ(texts(tree), (std::vector<std::string>{"Title", "behind", "Cellular", "Download", "front"}));
    EXPECT_EQ(identifiers(tree), (std::vector<std::string>{"dl", "top"}));
    ASSERT_NE(findByIdentifier(tree, "top"), nullptr);
    EXPECT_EQ(findByIdentifier(tree, "top")->text, "front");
    EXPECT_EQ(findByText(tree, "Cellular")->systemImage, "antenna.radiowaves.left.and.right");
    EXPECT_EQ(findControl(tree, "Download"), findControl(tree, "dl"));
    EXPECT_EQ(findByIdentifier(tree, "missing"), nullptr);
    EXPECT_EQ(findControl(tree, "Title"), nullptr) << "a text is not a control";
}

TEST(ViewsPress, RunsTheActionOfTheControlFound) {
    int accepted = 0, declined = 0;
    std::optional<bool> switched;
    const Node tree = VStack({
        Button(Text("Download"), [&] { ++accepted; }) | identifier("tavro.accept"),
        Button("Not now", [&] { ++declined; }),
        Button(Image("xmark.circle.fill"), [&] { ++declined; }) | accessibilityLabel("Stop download"),
        Toggle("Log activity", true, [&](bool on) { switched = on; }),
        Button("Inert", nullptr),
    });
    EXPECT_TRUE(press(tree, "tavro.accept"));
    EXPECT_TRUE(press(tree, "Not now"));
    EXPECT_TRUE(press(tree, "Stop download")) << "found by its accessibility label";
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(declined, 2);
    EXPECT_TRUE(press(tree, "Log activity"));
    EXPECT_EQ(switched, false) << "a toggle is told its flipped state";
    EXPECT_FALSE(press(tree, "Inert"));
    EXPECT_FALSE(press(tree, "Nothing"));
}

TEST(ViewsPress, HitTestingOffPassesTheTouchOver) {
    int ring = 0, launcher = 0;
    const Node tree = Button(Image("sparkles"), [&] { ++launcher; }) | identifier("launcher") |
                      overlay(VStack({Button("ring", [&] { ++ring; })}) | hitTesting(false));
    EXPECT_FALSE(press(tree, "ring"));
    EXPECT_EQ(ring, 0);
    EXPECT_NE(findControl(tree, "ring"), nullptr) << "still there to read";
    EXPECT_TRUE(press(tree, "launcher"));
    EXPECT_EQ(launcher, 1);
    const Node off = tree | hitTesting(false);
    EXPECT_FALSE(press(off, "launcher"));
}

}  // namespace
}  // namespace views
