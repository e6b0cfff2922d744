// "Watch & learn" on the demo app: a person's edits become steps, a named goal becomes a recipe
// the agent replays, and what must never be kept (passwords, the library's own fields) is not.
#include "LearnTestSupport.h"
#include "TavroMemoryTestSupport.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "tavro/memory/TavroRecorder.h"

namespace tavro::learntest {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

class RecorderOnDemo : public OnDemo {
protected:
    std::shared_ptr<TavroMemory> memory;
    std::unique_ptr<TavroRecorder> recorder;

    void SetUp() override {
        OnDemo::SetUp();
        memory = freshMemory();
        recorder = std::make_unique<TavroRecorder>(surface, memory);
        app->routes().at("Profile")();
        actor->runFor(1s);
    }
    void TearDown() override {
        recorder.reset();
        OnDemo::TearDown();
    }

    std::shared_ptr<ui::View> view(std::string_view identifier) { return app->window()->findByIdentifier(identifier); }
    // A person taps the field, types the text and leaves the field.
    void edit(const std::shared_ptr<ui::View>& field, const std::string& text, bool leave = true) {
        ASSERT_TRUE(field->tap());
        auto* f = dynamic_cast<ui::TextField*>(field.get());
        ASSERT_TRUE(f ? f->replaceText(text) : dynamic_cast<ui::TextView&>(*field).replaceText(text));
        field->window()->endEditing();
        if (leave) actor->runFor(100ms);
    }
    void edit(std::string_view identifier, const std::string& text) { edit(view(identifier), text); }
    Texts typed() const {
        Texts out;
        for (const auto& step : recorder->steps()) out.push_back(step.action.text);
        return out;
    }
};

TEST_F(RecorderOnDemo, ProfileEditsBecomeARecipeThatTheAgentReplaysWithAnotherName) {
    recorder->recording.set(true);
    edit("profile.name", "Rin");
    edit("profile.email", "rin@example.org");
    edit("profile.name", "Rin Tanaka");
    EXPECT_EQ(typed(), (Texts{"Rin Tanaka", "rin@example.org"})) << "a later edit replaces in place";
    const auto name = recorder->steps().front();
    EXPECT_EQ(name.action.kind, TavroAction::Kind::type);
    EXPECT_EQ(name.action.id, surface->elementId(*view("profile.name")));
    ASSERT_TRUE(name.element);
    EXPECT_EQ(name.element->label + " " + name.element->kind + " " + name.location, "Name input Profile");
    EXPECT_NE(name.caption.find("Rin Tanaka"), std::string::npos) << name.caption;
    edit("profile.email", "");
    EXPECT_EQ(typed(), Texts{"Rin Tanaka"}) << "emptied, the field's step goes";

    EXPECT_TRUE(recorder->finish("  set my name to Rin Tanaka \n"));
    EXPECT_FALSE(recorder->recording.value());
    EXPECT_TRUE(recorder->steps().empty());
    ASSERT_EQ(memory->recipes().size(), 1u);

    app->reset();
    app->routes().at("Profile")();
    actor->runFor(1s);
    auto agent = makeAgent(surface, TavroConfiguration{}, memory);
    const auto report = runGoal(agent, "set my name to Mia Sato");
    EXPECT_TRUE(report.ok) << report.stepsText();
    EXPECT_EQ(agent->engineName().value(), "Learned · on-device");
    EXPECT_EQ(static_cast<ui::TextField&>(*view("profile.name")).text(), "Mia Sato");
    EXPECT_EQ(memory->recipes().front().runs, 2);
}

TEST_F(RecorderOnDemo, ASecureFieldNeverReachesTheRecipeFile) {
    recorder->recording.set(true);
    edit("profile.password", "hunter2-secret");
    edit("profile.name", "Rin");
    EXPECT_EQ(typed(), Texts{"Rin"});
    ASSERT_TRUE(recorder->finish("set my name to Rin"));
    const std::string saved = memorytest::readFile(memory->file());
    EXPECT_NE(saved.find("profile.name"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("secret"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("profile.password"), std::string::npos) << saved;
}

TEST_F(RecorderOnDemo, OnlyARealChangeOfRecordingAttachesDetachesAndEmpties) {
    edit("profile.name", "Rin");
    EXPECT_TRUE(recorder->steps().empty()) << "not recording at first";
    recorder->recording.set(true);
    edit("profile.name", "Rin");
    recorder->recording.set(true);
    EXPECT_EQ(recorder->steps().size(), 1u) << "setting the same value changes nothing";
    recorder->recording.set(false);
    EXPECT_TRUE(recorder->steps().empty());
    edit("profile.email", "rin@example.org");
    recorder->recording.set(true);
    EXPECT_TRUE(recorder->steps().empty());
    edit(view("profile.name"), "Late", false);  // ends just before recording stops: not delivered after
    recorder->recording.set(false);
    recorder->recording.set(true);
    actor->runFor(100ms);
    EXPECT_TRUE(recorder->steps().empty());

    edit("profile.name", "Rin");
    EXPECT_FALSE(recorder->finish(" \t")) << "no goal";
    EXPECT_FALSE(recorder->recording.value());
    recorder->recording.set(true);
    EXPECT_FALSE(recorder->finish("set my name to Rin")) << "no steps";
    EXPECT_FALSE(recorder->recording.value());
    EXPECT_TRUE(memory->recipes().empty());
}

TEST_F(RecorderOnDemo, TheLibrarysOwnFieldsAreNotRecordedButTheAppsTextViewsAre) {
    recorder->recording.set(true);
    auto overlay = std::make_shared<ui::Window>();  // the overlay's window, above the app
    overlay->setWindowScene(app->scene());
    overlay->setAccessibilityIdentifier("tavro.sdk.overlay");
    overlay->setWindowLevel(1);
    auto goal = std::make_shared<ui::TextField>("Goal", ui::Rect{16, 600, 300, 44});
    overlay->addSubview(goal);
    auto card = std::make_shared<ui::View>(ui::Rect{0, 400, 390, 100});  // a card of the library's in the app
    card->setAccessibilityIdentifier("tavro.sdk.card");
    auto prompt = std::make_shared<ui::TextField>("Prompt", ui::Rect{16, 10, 300, 44});
    card->addSubview(prompt);
    app->window()->addSubview(card);
    auto notes = std::make_shared<ui::TextView>("", ui::Rect{16, 520, 300, 80});
    notes->setAccessibilityLabel("Notes");
    app->window()->addSubview(notes);
    actor->runFor(1s);

    edit(goal, "open Settings");
    edit(prompt, "hello");
    auto center = fnd::NotificationCenter::defaultCenter();  // anyone may post it, with any object
    center->post(std::string(ui::Notification::textFieldTextDidEndEditing), std::make_shared<std::string>("field"));
    center->post(std::string(ui::Notification::textViewTextDidEndEditing));
    edit(notes, "milk\neggs");
    const auto steps = recorder->steps();
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].action.text, "milk\neggs");
    ASSERT_TRUE(steps[0].element);
    EXPECT_EQ(steps[0].element->kind + " " + steps[0].element->label, "textarea Notes");
}

}  // namespace
}  // namespace tavro::learntest
