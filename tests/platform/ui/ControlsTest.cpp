#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/ui/Button.h"
#include "platform/ui/HumanCheckView.h"
#include "platform/ui/Label.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"

using namespace ui;
using uitest::UiTest;

namespace {

template <class T, class... A>
std::shared_ptr<T> put(const std::shared_ptr<View>& parent, A&&... args) {
    auto v = std::make_shared<T>(std::forward<A>(args)...);
    parent->addSubview(v);
    return v;
}

}  // namespace

using Controls = UiTest;

TEST_F(Controls, ButtonTapRunsHandlersOnlyWhenATouchCouldReachIt) {
    auto holder = put<View>(window, Rect{0, 0, 200, 200});
    auto button = put<Button>(holder, "Save", Rect{10, 10, 80, 44});
    int taps = 0;
    button->onTap([&] { ++taps; });

    EXPECT_TRUE(button->tap());
    button->setEnabled(false);
    EXPECT_FALSE(button->tap());
    EXPECT_NE(button->accessibilityTraits() & Trait::notEnabled, 0u);
    button->setEnabled(true);
    holder->setHidden(true);
    EXPECT_FALSE(button->tap());
    holder->setHidden(false);
    holder->setUserInteractionEnabled(false);
    EXPECT_FALSE(button->tap());
    holder->setUserInteractionEnabled(true);
    holder->setAlpha(0);
    EXPECT_FALSE(button->tap());
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(button->accessibilityLabel(), "Save");
    button->setAccessibilityLabel("Save profile");
    EXPECT_EQ(button->accessibilityLabel(), "Save profile");
}

TEST_F(Controls, SwitchFlipsOnTapAndReadsAsOneOrZero) {
    auto sw = put<Switch>(window, false);
    std::vector<bool> seen;
    sw->addAction(ControlEvent::valueChanged, [&](Control& c) { seen.push_back(static_cast<Switch&>(c).isOn()); });
    EXPECT_EQ(sw->accessibilityValue(), "0");
    EXPECT_TRUE(sw->tap());
    EXPECT_EQ(sw->accessibilityValue(), "1");
    sw->setOn(false);  // code: no event
    EXPECT_TRUE(sw->tap());
    EXPECT_EQ(seen, (std::vector<bool>{true, true}));
}

TEST_F(Controls, ValueControlsSendValueChangedOnlyWhenTheValueChanges) {
    auto seg = put<SegmentedControl>(window, std::vector<std::string>{"Small", "Medium", "Large"});
    int segChanges = 0;
    seg->addAction(ControlEvent::valueChanged, [&](Control&) { ++segChanges; });
    EXPECT_EQ(seg->accessibilityValue(), "");
    EXPECT_TRUE(seg->selectSegment(1));
    EXPECT_TRUE(seg->selectSegment(1));
    EXPECT_FALSE(seg->selectSegment(3));
    EXPECT_EQ(seg->accessibilityValue(), "Medium");
    EXPECT_EQ(segChanges, 1);

    auto slider = put<Slider>(window, 12.0, 24.0, 17.0);
    slider->setStep(1);
    int slides = 0;
    slider->addAction(ControlEvent::valueChanged, [&](Control&) { ++slides; });
    EXPECT_TRUE(slider->slide(30));
    EXPECT_EQ(slider->value(), 24);
    EXPECT_TRUE(slider->slide(19.6));
    EXPECT_EQ(slider->accessibilityValue(), "20");
    EXPECT_TRUE(slider->slide(20.2));
    EXPECT_EQ(slides, 2);

    auto picker = put<PickerView>(window, std::vector<std::string>{"English", "日本語"});
    std::vector<int> picked;
    picker->setOnSelect([&](int row) { picked.push_back(row); });
    EXPECT_EQ(picker->accessibilityValue(), "English");
    EXPECT_TRUE(picker->pick(1));
    EXPECT_TRUE(picker->pick(1));
    EXPECT_FALSE(picker->pick(2));
    EXPECT_EQ(picked, (std::vector<int>{1}));
    EXPECT_EQ(picker->accessibilityValue(), "日本語");
}

TEST_F(Controls, SliderShowsFractionsWithoutTrailingZeros) {
    Slider slider(0, 1, 0.25);
    EXPECT_EQ(slider.accessibilityValue(), "0.25");
    slider.setValue(-3);
    EXPECT_EQ(slider.accessibilityValue(), "0");
}

TEST_F(Controls, TextFieldTakesFocusTypesAndReportsEveryEdit) {
    record({Notification::textFieldTextDidChange, Notification::keyboardDidShow, Notification::keyboardDidHide});
    auto field = put<TextField>(window, "Email", Rect{0, 0, 200, 44});
    std::vector<std::string> events;
    field->addAction(ControlEvent::editingDidBegin, [&](Control&) { events.push_back("begin"); });
    field->addAction(ControlEvent::editingChanged,
                     [&](Control& c) { events.push_back("changed:" + static_cast<TextField&>(c).text()); });
    field->addAction(ControlEvent::editingDidEnd, [&](Control&) { events.push_back("end"); });

    EXPECT_FALSE(field->replaceText("x"));  // no focus, no typing
    EXPECT_TRUE(field->tap());
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_TRUE(app->isKeyboardVisible());
    EXPECT_FALSE(app->keyboardFrame().isEmpty());
    EXPECT_TRUE(field->replaceText("rin@"));
    EXPECT_TRUE(field->insertText("example.org"));
    EXPECT_TRUE(field->deleteBackward());
    EXPECT_EQ(field->text(), "rin@example.or");
    EXPECT_EQ(field->accessibilityLabel(), "Email");
    EXPECT_EQ(field->accessibilityValue(), "rin@example.or");
    window->endEditing();
    EXPECT_FALSE(app->isKeyboardVisible());
    actor->runUntilIdle();
    EXPECT_EQ(events, (std::vector<std::string>{"begin", "changed:rin@", "changed:rin@example.org",
                                                "changed:rin@example.or", "end"}));
    EXPECT_EQ(posted, (std::vector<std::string>{"UIKeyboardDidShowNotification", "UITextFieldTextDidChangeNotification",
                                                "UITextFieldTextDidChangeNotification",
                                                "UITextFieldTextDidChangeNotification",
                                                "UIKeyboardDidHideNotification"}));
}

TEST_F(Controls, ReturnKeyAsksTheFieldAndEndsEditingOnlyWhenSomeoneListens) {
    auto field = put<TextField>(window, "Message");
    int submitted = 0;
    field->addAction(ControlEvent::primaryActionTriggered, [&](Control&) { ++submitted; });
    ASSERT_TRUE(field->tap());
    EXPECT_TRUE(field->pressReturn());
    EXPECT_TRUE(field->isFirstResponder());  // nobody ends editing on exit
    field->setShouldReturn([](TextField&) { return false; });
    EXPECT_TRUE(field->pressReturn());
    EXPECT_EQ(submitted, 1);
    field->setShouldReturn({});
    field->addAction(ControlEvent::editingDidEndOnExit, [](Control&) {});
    EXPECT_TRUE(field->pressReturn());
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_FALSE(field->pressReturn());  // no focus any more
    EXPECT_EQ(submitted, 2);
}

TEST_F(Controls, SecureFieldShowsReadersOneBulletPerCharacter) {
    auto field = put<TextField>(window, "Password");
    field->setSecureTextEntry(true);
    field->setText("pässwörd");
    EXPECT_EQ(field->accessibilityValue(), "••••••••");
    EXPECT_EQ(field->text(), "pässwörd");
}

TEST_F(Controls, RemovingTheFocusedFieldFromTheWindowPutsTheKeyboardAway) {
    auto form = put<View>(window, Rect{0, 0, 300, 300});
    auto field = put<TextField>(form, "Name");
    ASSERT_TRUE(field->tap());
    form->removeFromSuperview();
    EXPECT_FALSE(app->isKeyboardVisible());
    EXPECT_EQ(window->firstResponder(), nullptr);
    EXPECT_FALSE(field->tap());  // in no window
}

TEST_F(Controls, TextViewAddsLinesOnReturnAndReadOnlyViewsTakeNoFocus) {
    record({Notification::textViewTextDidEndEditing});
    auto notes = put<TextView>(window, "");
    ASSERT_TRUE(notes->tap());
    EXPECT_TRUE(notes->insertText("milk"));
    EXPECT_TRUE(notes->pressReturn());
    EXPECT_TRUE(notes->insertText("eggs"));
    EXPECT_EQ(notes->accessibilityValue(), "milk\neggs");
    EXPECT_TRUE(app->isKeyboardVisible());
    auto terms = put<TextView>(window, "Terms");
    terms->setEditable(false);
    EXPECT_FALSE(terms->tap());
    EXPECT_TRUE(notes->isFirstResponder());
    actor->runUntilIdle();
    EXPECT_TRUE(posted.empty()) << "still editing";
    window->endEditing();
    actor->runUntilIdle();
    EXPECT_EQ(posted, std::vector<std::string>{"UITextViewTextDidEndEditingNotification"});
}

TEST_F(Controls, PlainViewsRespondToTapsAndLongPressesThroughTheirHandlers) {
    auto card = put<Label>(window, "Card", Rect{0, 0, 100, 40});
    EXPECT_FALSE(card->tap());
    EXPECT_FALSE(card->longPress());
    int taps = 0, presses = 0;
    card->setOnTap([&] { ++taps; });
    card->setOnLongPress([&] { ++presses; });
    EXPECT_TRUE(card->tap());
    EXPECT_TRUE(card->longPress());
    EXPECT_EQ(taps + presses, 2);
}

TEST_F(Controls, CustomAccessibilityActionsRunByName) {
    auto row = put<View>(window, Rect{0, 0, 100, 40});
    std::vector<std::string> ran;
    row->setAccessibilityCustomActions({{"Archive", [&] { ran.push_back("Archive"); return true; }},
                                        {"Mute", [&] { ran.push_back("Mute"); return false; }}});
    EXPECT_TRUE(row->performAccessibilityCustomAction("Archive"));
    EXPECT_FALSE(row->performAccessibilityCustomAction("Mute"));
    EXPECT_FALSE(row->performAccessibilityCustomAction("Delete"));
    EXPECT_EQ(ran, (std::vector<std::string>{"Archive", "Mute"}));
}

TEST_F(Controls, HumanCheckIsSolvedOnceAndThenHides) {
    auto check = put<HumanCheckView>(window, "I'm not a robot");
    int solved = 0;
    check->setOnSolved([&] { ++solved; });
    EXPECT_EQ(check->role(), Role::humanCheck);
    EXPECT_TRUE(check->solve());
    EXPECT_FALSE(check->solve());
    EXPECT_TRUE(check->isHidden());
    EXPECT_EQ(solved, 1);
}
