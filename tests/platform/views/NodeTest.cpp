// Node trees as values: modifiers, equality, reading and pressing.
#include <gtest/gtest.h>

#include "platform/views/Node.h"

namespace views {
namespace {

TEST(ViewsNode, ModifiersComposeWithoutLosingEarlierOnes) {
    // Padding adds up per edge and may go negative; a later font keeps monospaced digits.
    const Node n = Text("42%") | monospacedDigit() | font(TextStyle::caption) | padding(12) |
                   padding(-5, Edge::horizontal) | foreground(SemanticStyle::secondary);
    EXPECT_EQ(n.font, (Font{TextStyle::caption, Weight::regular, true}));
    EXPECT_EQ(n.padding, (Insets{12, 7, 12, 7}));
    EXPECT_EQ((Text("t") | font(TextStyle::subheadline) | fontWeight(Weight::bold)).font,
              (Font{TextStyle::subheadline, Weight::bold, false}));
}

TEST(ViewsNode, EqualityComparesTheWholeTree) {
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

TEST(ViewsNode, ReadingFindsTextsIdentifiersAndControlsInOrder) {
    const Node tree = VStack({Text("Title"),
                              HStack({Label("Cellular", "antenna.radiowaves.left.and.right"),
                                      Button(Text("Download") | fontWeight(Weight::bold), [] {}) | identifier("dl")}) |
                                  background(Text("behind")),
                              Spacer()}) |
                      overlay(Text("front") | identifier("top"));
    EXPECT_EQ(texts(tree), (std::vector<std::string>{"Title", "behind", "Cellular", "Download", "front"}));
    EXPECT_EQ(identifiers(tree), (std::vector<std::string>{"dl", "top"}));
    EXPECT_EQ(findByIdentifier(tree, "top")->text, "front");
    EXPECT_EQ(findByText(tree, "Cellular")->systemImage, "antenna.radiowaves.left.and.right");
    EXPECT_EQ(findControl(tree, "Download"), findControl(tree, "dl"));
    EXPECT_EQ(findControl(tree, "Title"), nullptr) << "a text is not a control";
}

TEST(ViewsNode, PressRunsTheControlFoundUnlessHitTestingIsOff) {
    int pressed = 0;
    std::optional<bool> switched;
    const Node tree =
        VStack({Button(Text("Download"), [&] { ++pressed; }) | identifier("accept"),
                Button(Image("xmark.circle.fill"), [&] { pressed += 10; }) | accessibilityLabel("Stop download"),
                Toggle("Log activity", true, [&](bool on) { switched = on; }), Button("Inert", nullptr)}) |
        overlay(Button("ring", [&] { pressed += 100; }) | hitTesting(false));
    EXPECT_TRUE(press(tree, "accept"));
    EXPECT_TRUE(press(tree, "Stop download")) << "found by its accessibility label";
    EXPECT_TRUE(press(tree, "Log activity"));
    EXPECT_EQ(switched, false) << "a toggle is told its flipped state";
    EXPECT_FALSE(press(tree, "Inert"));
    EXPECT_FALSE(press(tree, "ring")) << "no touch reaches it";
    EXPECT_NE(findControl(tree, "ring"), nullptr) << "still there to read";
    EXPECT_EQ(pressed, 11);
    EXPECT_FALSE(press(tree | hitTesting(false), "accept"));
}

}  // namespace
}  // namespace views
