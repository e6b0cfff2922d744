// The agent: the one object that runs goals. Given a goal it reads the screen through a surface,
// picks exactly one next action (a replayed recipe, the rules engine or the configured models),
// shows the user what it is about to do, performs it, checks that the screen changed, and repeats
// until the goal is done, impossible, or the step limit is reached. Risky steps wait for the
// user's approval; what the agent must not do (a CAPTCHA, a system prompt, the photo picker) is
// handed to the user.
//
// Everything runs on the main actor. A run is one main-actor task that holds the agent weakly:
// dropping the agent ends the run quietly at its next suspension point. The published properties
// are what the panel follows; `runAndWait` gives callers that need an outcome a TavroRunReport.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/Published.h"
#include "platform/foundation/Uuid.h"
#include "platform/runtime/Continuation.h"
#include "platform/runtime/Task.h"
#include "platform/ui/Geometry.h"
#include "tavro/agent/TavroConfiguration.h"
#include "tavro/agent/TavroRunReport.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroElement.h"
#include "tavro/core/TavroScreen.h"
#include "tavro/memory/TavroPerformedStep.h"
#include "tavro/models/TavroReasoning.h"

namespace tavro {

class TavroMemory;
class TavroModel;
class TavroPresenter;
class TavroSurface;
class WebSurface;
struct TavroRecipe;

class TavroAgent : public std::enable_shared_from_this<TavroAgent> {
public:
    // What a paused run waits for. Two prompts are equal when they are the same case with equal texts.
    class Prompt {
    public:
        enum class Case {
            approve,  // a risky step waits for approval; the text describes the step
            human,    // the user must act outside the agent's reach; the text says what to do
            ask,      // the agent asks the user a question
        };
        static Prompt approve(std::string text) { return Prompt(Case::approve, std::move(text)); }
        static Prompt human(std::string text) { return Prompt(Case::human, std::move(text)); }
        static Prompt ask(std::string text) { return Prompt(Case::ask, std::move(text)); }

        Case kind() const { return kind_; }
        const std::string& text() const { return text_; }
        bool operator==(const Prompt&) const = default;

    private:
        Prompt(Case kind, std::string text) : kind_(kind), text_(std::move(text)) {}
        Case kind_;
        std::string text_;
    };

    // One line of the run log.
    struct LogLine {
        fnd::Uuid id;
        std::string text;
        bool ok = true;          // the step succeeded, or the line is informative
        std::int64_t ms = 0;     // the step's duration in whole milliseconds, 0 when untimed

        bool operator==(const LogLine&) const = default;
    };

    // Every run of the agent must be owned by a std::shared_ptr (use create or std::make_shared).
    TavroAgent(std::shared_ptr<TavroSurface> surface, TavroConfiguration configuration,
               std::shared_ptr<TavroMemory> memory);
    static std::shared_ptr<TavroAgent> create(std::shared_ptr<TavroSurface> surface,
                                              TavroConfiguration configuration,
                                              std::shared_ptr<TavroMemory> memory);
    ~TavroAgent();
    TavroAgent(const TavroAgent&) = delete;
    TavroAgent& operator=(const TavroAgent&) = delete;

    // ---- Published state (the panel follows these) ----
    // Observe them with willChange/didSet; only the agent sets them (autoRun through setAutoRun).
    const fnd::Published<bool>& running() const { return running_; }
    fnd::Published<bool>& running() { return running_; }
    const fnd::Published<std::optional<TavroReasoning>>& reasoning() const { return reasoning_; }
    fnd::Published<std::optional<TavroReasoning>>& reasoning() { return reasoning_; }
    const fnd::Published<std::string>& goal() const { return goal_; }
    fnd::Published<std::string>& goal() { return goal_; }
    const fnd::Published<std::optional<Prompt>>& prompt() const { return prompt_; }
    fnd::Published<std::optional<Prompt>>& prompt() { return prompt_; }
    const fnd::Published<std::vector<LogLine>>& log() const { return log_; }
    fnd::Published<std::vector<LogLine>>& log() { return log_; }
    const fnd::Published<std::optional<std::string>>& status() const { return status_; }
    fnd::Published<std::optional<std::string>>& status() { return status_; }
    const fnd::Published<std::optional<std::string>>& currentStep() const { return currentStep_; }
    fnd::Published<std::optional<std::string>>& currentStep() { return currentStep_; }
    const fnd::Published<std::vector<std::string>>& plan() const { return plan_; }
    fnd::Published<std::vector<std::string>>& plan() { return plan_; }
    const fnd::Published<int>& planIndex() const { return planIndex_; }
    fnd::Published<int>& planIndex() { return planIndex_; }
    const fnd::Published<std::string>& engineName() const { return engineName_; }
    fnd::Published<std::string>& engineName() { return engineName_; }
    const fnd::Published<bool>& succeeded() const { return succeeded_; }
    fnd::Published<bool>& succeeded() { return succeeded_; }
    // Whether steps run without the user's approval of each one. Changing it during a run turns
    // the glow on or off at once.
    const fnd::Published<bool>& autoRun() const { return autoRun_; }
    fnd::Published<bool>& autoRun() { return autoRun_; }
    void setAutoRun(bool value);

    // ---- Settings and collaborators ----
    TavroConfiguration configuration;
    // The native surface of the host app; never replaced.
    const std::shared_ptr<TavroSurface>& surface() const { return surface_; }
    std::shared_ptr<TavroMemory> memory;
    // The overlay, held weakly; set by whoever attaches it.
    std::weak_ptr<TavroPresenter> presenter;
    // The surface the loop reads and acts on: the native one, or the in-app browser's.
    const std::shared_ptr<TavroSurface>& activeSurface() const { return activeSurface_; }
    // The in-app browser's surface while it is open, and its content's offset in window points.
    const std::shared_ptr<WebSurface>& webSurface() const { return webSurface_; }
    ui::Point webInset() const { return webInset_; }

    // Sets the engine label from the configured models, unless a run is active.
    void refreshEngine();

    // Starts a run of the goal (stopping any earlier run first); returns at once.
    void run(std::string goal);
    // Ends the current run, if any; shows the note as the status when given.
    void stop(std::optional<std::string> note = std::nullopt);

    // The user allowed the pending step (or tapped continue).
    void approve();
    // The user's answer to a pending question (trimmed).
    void answer(std::string_view text);

    // Runs the goal and waits for its end, stopping it after max(timeout, 5) seconds.
    rt::Task<TavroRunReport> runAndWait(std::string goal, double timeout);

    // Carries out one exact test step with the rules engine alone: nothing when it passed, else why.
    rt::Task<std::optional<std::string>> performExact(std::string step);

    // The engine word that analytics events carry: "rules" without a model, "apple" for the
    // platform's on-device model, "local" for a downloadable model, "model" for any other.
    static std::string engine(const TavroModel* model);

    // Whether two readings differ in anything the agent watches after an action.
    static bool changed(const TavroScreen& a, const TavroScreen& b);

    // The key that identifies a chosen step for the loop guards: location|kind|id|text.
    static std::string keyOf(const TavroAction& action, const TavroScreen& screen);

    // The run's task while one exists (finished or not).
    const rt::TaskHandle<void>& task() const { return task_; }

private:
    struct Run;
    enum class Flow;
    struct Choice;

    // Hand-off of the system photo picker, as the turn loop sees it.
    struct PhotoHandOff {
        enum class Kind { picked, failed, notHandled };
        Kind kind = Kind::notHandled;
        std::string text;  // picked: which photo; failed: the message for the user
    };

    // ---- Lifecycle ----
    void finish();
    static rt::Task<void> runTask(std::weak_ptr<TavroAgent> weak, std::string goal, fnd::Uuid id);
    static rt::Task<void> hideCursorLater(std::shared_ptr<TavroPresenter> presenter);
    static rt::Task<void> timeoutTask(std::weak_ptr<TavroAgent> weak, double timeout);
    std::string engineLabel() const;

    // ---- User turns and the gate ----
    rt::Task<std::optional<std::string>> wait(Prompt prompt);
    void resume(std::string text);
    void releaseGate();
    static rt::Task<void> systemPromptWatcher(std::weak_ptr<TavroAgent> weak);
    static rt::Task<void> photoPickerWatcher(std::weak_ptr<TavroAgent> weak);

    // ---- The turn loop ----
    rt::Task<void> loop(std::string goal, fnd::Uuid id);
    rt::Task<bool> startUp(Run& run, std::string goal);
    rt::Task<bool> prePass(Run& run);
    rt::Task<std::vector<std::string>> buildPlan(Run& run);
    std::string planSummary() const;
    static std::vector<std::string> planLabels(const TavroRecipe& recipe);
    rt::Task<Flow> turn(Run& run);
    rt::Task<Flow> systemPromptPause(Run& run);
    rt::Task<Flow> photoPickerTurn(Run& run);
    rt::Task<Flow> humanCheckPause(Run& run);
    rt::Task<void> stepLimit(Run& run);
    bool finishIfDone(Run& run, const TavroScreen& screen, std::string_view why);

    // ---- Choosing the next action ----
    rt::Task<Choice> choose(Run& run, const TavroScreen& screen);
    rt::Task<std::optional<TavroAction>> decide(const std::shared_ptr<TavroModel>& model, const std::string& goal,
                                                const TavroScreen& screen, const std::vector<std::string>& history,
                                                const std::vector<std::string>& known,
                                                const std::vector<std::string>& routes);
    rt::Task<bool> correctiveScroll();

    // ---- Dispatch and acting ----
    rt::Task<Flow> dispatch(Run& run, const TavroScreen& screen, TavroAction action, std::string source);
    rt::Task<Flow> doneTurn(Run& run, const TavroScreen& screen, const TavroAction& action,
                            const std::string& source);
    rt::Task<Flow> askTurn(Run& run, std::string question);
    rt::Task<Flow> openWebTurn(Run& run, const TavroScreen& screen, const TavroAction& action);
    rt::Task<Flow> localOperationTurn(Run& run, const TavroScreen& screen, const TavroAction& action,
                                      std::string caption, bool needsApproval, std::string source);
    rt::Task<Flow> surfaceActionTurn(Run& run, const TavroScreen& screen, const TavroAction& action,
                                     std::string caption, bool needsApproval, std::string source);
    void learnOnDone(Run& run);
    void advancePlan();
    void reportStep(const std::string& caption);

    // ---- Verification ----
    rt::Task<bool> verify(const TavroAction& action, const TavroScreen& before);

    // ---- Run log, captions and pointer ----
    void add(std::string text, bool ok, std::int64_t ms);
    rt::Task<void> say(std::string text);
    rt::Task<void> point(const TavroAction& action, std::string caption);

    // ---- Photo picker, local operations and repeat counts (TavroPhotosHandOff.cpp, TavroOpsPerform.cpp,
    //      TavroRepeatSteps.cpp) ----
    // Whether the system photo picker is presented in the native app window.
    bool photoPickerShowing() const;
    // Whether a goal asks for a photo.
    static bool photosWanted(std::string_view goal);
    // Picks a photo for the host's handler out of the presented picker.
    rt::Task<PhotoHandOff> handOffPhoto();
    // Copy, paste, save image and share: nothing on success, else a "failed: " text.
    rt::Task<std::optional<std::string>> performOp(TavroAction action, TavroScreen screen);
    // A goal's repeat count: the goal without it and the count (2...50), or nothing.
    struct RepeatGoal {
        std::string goal;
        int times = 0;
    };
    static std::optional<RepeatGoal> repeatCount(std::string_view goal);
    // The performed steps to replay on the final screen.
    static std::vector<TavroPerformedStep> repeatTail(const std::vector<TavroPerformedStep>& steps);
    // Replays the steps until the goal has been done `total` times; sets the status and success.
    rt::Task<void> repeatSteps(std::vector<TavroPerformedStep> steps, int total);

    // ---- State ----
    fnd::Published<bool> running_{false};
    fnd::Published<std::optional<TavroReasoning>> reasoning_{std::nullopt};
    fnd::Published<std::string> goal_{std::string()};
    fnd::Published<std::optional<Prompt>> prompt_{std::nullopt};
    fnd::Published<std::vector<LogLine>> log_{std::vector<LogLine>()};
    fnd::Published<std::optional<std::string>> status_{std::nullopt};
    fnd::Published<std::optional<std::string>> currentStep_{std::nullopt};
    fnd::Published<std::vector<std::string>> plan_{std::vector<std::string>()};
    fnd::Published<int> planIndex_{0};
    fnd::Published<std::string> engineName_{std::string()};
    fnd::Published<bool> succeeded_{false};
    fnd::Published<bool> autoRun_{true};
    fnd::ObserverToken autoRunReaction_;

    const std::shared_ptr<TavroSurface> surface_;
    std::shared_ptr<TavroSurface> activeSurface_;
    std::shared_ptr<WebSurface> webSurface_;
    ui::Point webInset_;
    rt::TaskHandle<void> task_;
    std::optional<rt::Instant> runStarted_;
    std::string runEngine_ = "rules";
    std::optional<rt::Continuation<std::optional<std::string>>> gate_;
    fnd::Uuid runID_;
};

}  // namespace tavro
