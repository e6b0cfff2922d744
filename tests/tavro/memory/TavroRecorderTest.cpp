// "Watch & learn" on the demo app: a person's edits become steps, a named goal becomes a recipe
// the agent replays, and what must never be kept (passwords, the library's own fields) is not.
#include "LearnTestSupport.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "tavro/memory/TavroMemoryTestSupport.h"
#include "tavro/memory/TavroRecorder.h"

namespace tavro::learntest {
namespace {

using namespace std::chrono_literals;

class RecorderOnDemo : public OnDemo {
protected:
    std::shared_ptr<TavroMemory> memory;
    std::unique_ptr<TavroRecorder> recorder;

    void SetUp() override {
        OnDemo::SetUp();
        memory = freshMemory();
        recorder = std::make_unique<TavroRecorder>(surface, memory);
    }
    void TearDown() override {
        recorder.reset();
        OnDemo::TearDown();
    }

    void openProfile() {
        app->routes().at("Profile")();
        actor->runFor(1s);
    }
    std::shared_ptr<ui::TextField> field(std::string_view identifier) {
        auto view = std::dynamic_pointer_cast<ui::TextField>(app->window()->findByIdentifier(identifier));
        EXPECT_NE(view, nullptr) << identifier;
        return view;
    }
    // A person taps the field, types the text and leaves the field.
    void edit(const std::shared_ptr<ui::TextField>& f, const std::string& text) {
        ASSERT_TRUE(f->tap());
        ASSERT_TRUE(f->replaceText(text));
        f->window()->endEditing();
        actor->runFor(100ms);
    }
    std::vector<std::string> typed() const {
        std::vector<std::string> out;
        for (const auto& step : recorder->steps()) out.push_back(step.action.text);
        return out;
    }
};

TEST_F(RecorderOnDemo, ProfileEditsBecomeARecipeThatTheAgentReplaysWithAnotherName) {
    recorder->recording.set(true);
    openProfile();
    edit(field("profile.name"), "Rin");
    edit(field("profile.email"), "rin@example.org");
    edit(field("profile.name"), "Rin Tanaka");
    EXPECT_EQ(typed(), (std::vector<std::string>{"Rin Tanaka", "rin@example.org"})) << "a later edit replaces in place";

    const auto steps = recorder->steps();
    ASSERT_EQ(steps.size(), 2u);
    const auto& name = steps[0];
    EXPECT_EQ(name.action.kind, TavroAction::Kind::type);
    EXPECT_EQ(name.action.id, surface->elementId(*field("profile.name")));
    ASSERT_TRUE(name.element);
    EXPECT_EQ(name.element->label, "Name");
    EXPECT_EQ(name.element->kind, "input");
    EXPECT_NE(std::find(name.element->keys.begin(), name.element->keys.end(), "profile.name"), name.element->keys.end());
    EXPECT_NE(name.caption.find("Rin Tanaka"), std::string::npos) << name.caption;
    EXPECT_EQ(name.location, "Profile");

    edit(field("profile.email"), "");
    EXPECT_EQ(typed(), std::vector<std::string>{"Rin Tanaka"}) << "emptied, the field's step goes";

    EXPECT_TRUE(recorder->finish("  set my name to Rin Tanaka \n"));
    EXPECT_FALSE(recorder->recording.value());
    EXPECT_TRUE(recorder->steps().empty());
    ASSERT_EQ(memory->recipes().size(), 1u);
    EXPECT_TRUE(memory->recall("set my name to Mia Sato").has_value());

    // The recipe replays in a whole run, with the new name in the slot.
    app->reset();
    openProfile();
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    const auto report = runGoal(agent, "set my name to Mia Sato");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(agent->engineName().value(), "Learned · on-device");
    EXPECT_EQ(field("profile.name")->text(), "Mia Sato");
    EXPECT_EQ(memory->recipes().front().runs, 2);
}

TEST_F(RecorderOnDemo, ASecureFieldNeverReachesTheRecipeFile) {
    recorder->recording.set(true);
    openProfile();
    edit(field("profile.password"), "hunter2-secret");
    edit(field("profile.name"), "Rin");
    edit(field("profile.password"), "hunter3-secret");
    EXPECT_EQ(typed(), std::vector<std::string>{"Rin"});
    ASSERT_TRUE(recorder->finish("set my name to Rin"));
    const std::string saved = memorytest::readFile(memory->file());
    EXPECT_NE(saved.find("profile.name"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("secret"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("profile.password"), std::string::npos) << saved;
}

TEST_F(RecorderOnDemo, OnlyARealChangeOfRecordingAttachesDetachesAndEmpties) {
    openProfile();
    edit(field("profile.name"), "Rin");
    EXPECT_TRUE(recorder->steps().empty()) << "not recording at first";

    recorder->recording.set(true);
    edit(field("profile.name"), "Rin");
    recorder->recording.set(true);
    EXPECT_EQ(recorder->steps().size(), 1u) << "setting the same value changes nothing";
    recorder->recording.set(false);
    EXPECT_TRUE(recorder->steps().empty());
    edit(field("profile.email"), "rin@example.org");
    recorder->recording.set(true);
    EXPECT_TRUE(recorder->steps().empty());

    // An edit that ends just before recording stops is not delivered afterwards.
    ASSERT_TRUE(field("profile.name")->tap());
    ASSERT_TRUE(field("profile.name")->replaceText("Late"));
    app->window()->endEditing();
    recorder->recording.set(false);
    recorder->recording.set(true);
    actor->runFor(100ms);
    EXPECT_TRUE(recorder->steps().empty());

    // Finishing without a goal or without steps learns nothing, and stops recording either way.
    edit(field("profile.name"), "Rin");
    EXPECT_FALSE(recorder->finish(" \t"));
    EXPECT_FALSE(recorder->recording.value());
    recorder->recording.set(true);
    EXPECT_FALSE(recorder->finish("set my name to Rin"));
    EXPECT_FALSE(recorder->recording.value());
    EXPECT_TRUE(memory->recipes().empty());
}

TEST_F(RecorderOnDemo, TheLibrarysOwnFieldsAreNotRecordedButTheAppsTextViewsAre) {
    recorder->recording.set(true);
    // The overlay: a window of its own, above the app.
    auto overlay = std::make_shared<ui::Window>();
    overlay->setWindowScene(app->scene());
    overlay->setAccessibilityIdentifier("tavro.sdk.overlay");
    overlay->setWindowLevel(1);
    auto goal = std::make_shared<ui::TextField>("Goal", ui::Rect{16, 600, 300, 44});
    overlay->addSubview(goal);
    // A card of the library's inside the app window.
    auto card = std::make_shared<ui::View>(ui::Rect{0, 400, 390, 100});
    card->setAccessibilityIdentifier("tavro.sdk.card");
    auto cardField = std::make_shared<ui::TextField>("Prompt", ui::Rect{16, 10, 300, 44});
    card->addSubview(cardField);
    app->window()->addSubview(card);
    // The app's own notes.
    auto notes = std::make_shared<ui::TextView>("", ui::Rect{16, 520, 300, 80});
    notes->setAccessibilityLabel("Notes");
    app->window()->addSubview(notes);
    actor->runFor(1s);

    edit(goal, "open Settings");
    edit(cardField, "hello");
    // Anyone may post the same notification, with any object.
    auto center = fnd::NotificationCenter::defaultCenter();
    center->post(std::string(ui::Notification::textFieldTextDidEndEditing), std::make_shared<std::string>("field"));
    center->post(std::string(ui::Notification::textViewTextDidEndEditing));
    actor->runFor(100ms);
    EXPECT_TRUE(recorder->steps().empty());

    ASSERT_TRUE(notes->tap());
    ASSERT_TRUE(notes->replaceText("milk\neggs"));
    app->window()->endEditing();
    actor->runFor(100ms);
    const auto steps = recorder->steps();
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].action.text, "milk\neggs");
    ASSERT_TRUE(steps[0].element);
    EXPECT_EQ(steps[0].element->kind, "textarea");
    EXPECT_EQ(steps[0].element->label, "Notes");
}

}  // namespace
}  // namespace tavro::learntest
