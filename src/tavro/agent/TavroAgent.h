// The agent: the one object that runs goals. Given a goal it reads the screen through a surface,
// picks exactly one next action (a replayed recipe, the rules engine or the configured models),
// shows the user what it is about to do, performs it, checks that the screen changed, and repeats
// until the goal is done, impossible, or the step limit is reached. Risky steps wait for the
// user's approval; what the agent must not do (a CAPTCHA, a system prompt, the photo picker) is
// handed to the user.
//
// Everything runs on the main actor. A run is one main-actor task that holds the agent only while
// its code runs, never while it waits: dropping the agent ends the run quietly at its next wait.
// Hosts may call run, stop, approve and answer from inside their observers of the agent's state:
// every started run ends exactly once, and the goal asked last is the one that runs. The published properties
// are what the panel follows; `runAndWait` gives callers that need an outcome a TavroRunReport.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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

    // The only way to make an agent: it lives in a std::shared_ptr, which its runs hold weakly.
    static std::shared_ptr<TavroAgent> create(std::shared_ptr<TavroSurface> surface,
                                              TavroConfiguration configuration,
                                              std::shared_ptr<TavroMemory> memory);
    // Dropping the agent ends its run quietly: no "run_end" is sent for it, but the idle timer is
    // given back and the run's task ends at once.
    ~TavroAgent();
    TavroAgent(const TavroAgent&) = delete;
    TavroAgent& operator=(const TavroAgent&) = delete;

    // Opens the constructor to create alone (std::make_shared needs a public one).
    class PassKey {
        friend class TavroAgent;
        PassKey() = default;
    };
    TavroAgent(PassKey, std::shared_ptr<TavroSurface> surface, TavroConfiguration configuration,
               std::shared_ptr<TavroMemory> memory);

    // ---- Published state (the panel follows these) ----
    // Hosts read and observe them (willChange/didSet); only the agent sets them. From inside an
    // observer a host may call run, stop, approve, answer and setAutoRun, and may drop the agent.
    const fnd::Published<bool>& running() const { return running_; }
    const fnd::Published<std::optional<TavroReasoning>>& reasoning() const { return reasoning_; }
    const fnd::Published<std::string>& goal() const { return goal_; }
    const fnd::Published<std::optional<Prompt>>& prompt() const { return prompt_; }
    const fnd::Published<std::vector<LogLine>>& log() const { return log_; }
    const fnd::Published<std::optional<std::string>>& status() const { return status_; }
    const fnd::Published<std::optional<std::string>>& currentStep() const { return currentStep_; }
    const fnd::Published<std::vector<std::string>>& plan() const { return plan_; }
    const fnd::Published<int>& planIndex() const { return planIndex_; }
    const fnd::Published<std::string>& engineName() const { return engineName_; }
    const fnd::Published<bool>& succeeded() const { return succeeded_; }
    // Whether steps run without the user's approval of each one. Changing it during a run turns
    // the glow on or off at once.
    const fnd::Published<bool>& autoRun() const { return autoRun_; }
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

    // Runs the goal and waits for its end, stopping it after max(timeout, 5) seconds. Never throws:
    // a run that failed on an exception reports it in its status.
    rt::Task<TavroRunReport> runAndWait(std::string goal, double timeout);

    // Carries out one exact test step with the rules engine alone: nothing when it passed, else why.
    rt::Task<std::optional<std::string>> performExact(std::string step);

    // Whether two readings differ in anything the agent watches after an action.
    static bool changed(const TavroScreen& a, const TavroScreen& b);

    // The key that identifies a chosen step for the loop guards: location|kind|id|text.
    static std::string keyOf(const TavroAction& action, const TavroScreen& screen);

    // The run's task while one exists (finished or not).
    const rt::TaskHandle<void>& task() const { return task_; }

private:
    // Where a turn's action came from. Its text form ("recipe", "rules", "model", empty for the
    // agent's own) is what the activity log shows.
    enum class Source { recipe, rules, model, agent };
    static std::string_view sourceName(Source source);

    struct Run;
    class Life;
    struct RunOver;
    enum class Flow;
    struct Choice;

    // Hand-off of the system photo picker, as the turn loop sees it.
    struct PhotoHandOff {
        enum class Kind { picked, failed, notHandled };
        Kind kind = Kind::notHandled;
        std::string text;  // picked: which photo; failed: the message for the user
    };

    // ---- Lifecycle ----
    // Starts a run as `run` does; the run's task, or none when nothing was started.
    rt::TaskHandle<void> start(std::string goal);
    // Whether run or stop was called again since the call that took this count; the later call
    // has then done its own ending and starting, and the earlier one returns at once.
    bool overtaken(std::uint64_t call) const { return calls_ != call; }
    void end(std::optional<std::string> note);
    void finish();
    // Ends the run as a failure that an exception caused: the status says so.
    void failRun(std::string_view reason);
    static std::string failureStatus(std::string_view reason);
    static rt::Task<void> runTask(std::weak_ptr<TavroAgent> weak, std::string goal, fnd::Uuid id);
    static rt::Task<void> hideCursorLater(std::shared_ptr<TavroPresenter> presenter);
    static rt::Task<void> timeoutTask(std::weak_ptr<TavroAgent> weak, double timeout);
    std::string engineLabel() const;

    // ---- User turns and the gate ----
    rt::Task<std::optional<std::string>> wait(Life& life, Prompt prompt);
    void resume(std::string text);
    void releaseGate();
    static rt::Task<void> systemPromptWatcher(std::weak_ptr<TavroAgent> weak);
    static rt::Task<void> photoPickerWatcher(std::weak_ptr<TavroAgent> weak);
    // The gate every step passes before it acts (a turn's step of any kind, a replayed recipe
    // step, a repeat's press): the policy judges everything the step reaches, as the active
    // surface resolves it. `reached` is what it reaches (nothing for a step without an element),
    // `ask` whether the user must approve it first under `policy`.
    struct Gate {
        bool ask = false;
        std::optional<TavroReachWords> reached;
    };
    rt::Task<Gate> gate(Life& life, const TavroAction& action, const TavroScreen& screen, TavroApproval policy);
    // The policy a turn's step is judged by: the configured one while the agent runs on its own.
    TavroApproval stepPolicy() const;
    // An approval holds for what the step reached when asked. Right before the press the active
    // surface is read again: `screen` is that reading (nothing when the action names no element
    // of the asked screen), `lapsed` the failure text when the page is another document, the
    // element is gone, reads otherwise, is another kind of control, reaches something else than
    // was approved, or the screen could not be read.
    struct Reread {
        std::optional<TavroScreen> screen;
        std::optional<std::string> lapsed;
    };
    rt::Task<Reread> rereadApproved(Life& life, const TavroAction& action, const TavroScreen& asked,
                                    const std::optional<TavroReachWords>& approved);
    // The failure of a step whose approval was asked on another document than the one it would act in.
    static std::string pageChanged();
    // What the step reaches on the element as the active surface resolves it now.
    rt::Task<TavroReachWords> reachOf(Life& life, const TavroAction& action, const TavroElement& element);

    // ---- The turn loop ----
    rt::Task<void> loop(std::shared_ptr<TavroAgent> self, std::string goal, fnd::Uuid id);
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
    // The replayed recipe's next step on this screen, past steps whose element already holds what
    // they would give; done once every step has been the recipe's own; nothing when it cannot go on.
    std::optional<TavroAction> replayStep(Run& run, const TavroScreen& screen);
    // The state (on or off) the run's goal asks of the checkbox a tap acts on; nothing when the
    // action is no such tap or the goal asks no state of it ("tap Wi-Fi").
    static std::optional<bool> wantedState(const Run& run, const TavroAction& action, const TavroScreen& screen);
    rt::Task<std::optional<TavroAction>> decide(Run& run, const std::shared_ptr<TavroModel>& model,
                                                const TavroScreen& screen);
    rt::Task<bool> correctiveScroll(Run& run);
    // In the browser: while the replay's and the rules engine's next step name an element the page
    // has not drawn yet, waits for the page to change and reads it again (bounded by the surface).
    rt::Task<void> awaitDrawn(Run& run, std::optional<TavroScreen>& screen);

    // ---- Dispatch and acting ----
    rt::Task<Flow> dispatch(Run& run, const TavroScreen& screen, TavroAction action, Source source);
    rt::Task<Flow> doneTurn(Run& run, const TavroScreen& screen, const TavroAction& action, Source source);
    rt::Task<Flow> askTurn(Run& run, std::string question);
    rt::Task<Flow> openWebTurn(Run& run, const TavroScreen& screen, const TavroAction& action, Source source);
    rt::Task<Flow> localOperationTurn(Run& run, const TavroScreen& screen, const TavroAction& action,
                                      std::string caption, Gate gate, Source source);
    rt::Task<Flow> surfaceActionTurn(Run& run, const TavroScreen& screen, const TavroAction& action,
                                     std::string caption, Gate gate, Source source);
    void learnOnDone(Run& run);
    // Whether a scroll's failure says the surface is already at the end asked for, or has nothing to
    // scroll: the scroll is then where it was asked to go, and the step counts as done.
    static bool scrolledToEnd(const TavroAction& action, const std::optional<std::string>& failure);
    // Notes a failed step the rules engine or the replayed recipe chose; whether the run ends now.
    bool noteFailedStep(Run& run, Source source, const std::string& caption,
                        const std::optional<std::string>& failure);
    // The run's end after a failed step: which step failed and why.
    static TavroAction failedStepAction(const Run& run);
    void advancePlan();
    // A step took effect: the replay moves on, also past a step another source took in its place.
    static void replayTookEffect(Run& run, Source source);
    void reportStep(const std::string& caption);
    // Holds the wall clock's pace for the next turn while a real browser's page is the active
    // surface; lets go of it otherwise.
    void paceWithBrowser(Run& run) const;

    // ---- Verification ----
    // What verification found: whether the step took effect and, when the control holds another
    // value than the one asked of it, what it holds ("Amount holds “25”, not “250”").
    struct Effect {
        Effect(bool took) : took(took) {}  // implicit: a plain judgement converts
        Effect(bool took, std::optional<std::string> holds) : took(took), holds(std::move(holds)) {}
        bool took = true;
        std::optional<std::string> holds;
        // Why a step without effect failed, for the run log and the models.
        std::string failure() const { return holds.value_or("no visible effect"); }
    };
    rt::Task<Effect> verify(Life& life, const TavroAction& action, const TavroScreen& before);

    // ---- Run log, captions and pointer ----
    void add(std::string text, bool ok, std::int64_t ms);
    rt::Task<void> say(Life& life, std::string text);
    rt::Task<void> point(Life& life, const TavroAction& action, std::string caption);

    // ---- Photo picker, local operations and repeat counts (TavroPhotosHandOff.cpp, TavroOpsPerform.cpp,
    //      TavroRepeatSteps.cpp) ----
    // Whether the system photo picker is presented in the native app window.
    bool photoPickerShowing() const;
    // Whether a goal asks for a photo.
    static bool photosWanted(std::string_view goal);
    // Picks a photo for the host's handler out of the presented picker.
    rt::Task<PhotoHandOff> handOffPhoto(Life& life);
    // Copy, paste, save image and share: nothing on success, else a "failed: " text.
    rt::Task<std::optional<std::string>> performOp(Life& life, TavroAction action, TavroScreen screen);
    // A goal's repeat count: the goal without it and the count (2...50), or nothing.
    struct RepeatGoal {
        std::string goal;
        int times = 0;
    };
    static std::optional<RepeatGoal> repeatCount(std::string_view goal);
    // The performed steps to replay on the final screen.
    static std::vector<TavroPerformedStep> repeatTail(const std::vector<TavroPerformedStep>& steps);
    // Replays the steps until the goal has been done `total` times; sets the status and success.
    rt::Task<void> repeatSteps(Run& run, std::vector<TavroPerformedStep> steps, int total);
    rt::Task<std::optional<std::string>> exactStep(Life& life, std::string step);

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
    // The status a stop shows while the plan's question waits for its answer.
    std::optional<std::string> questionStop_;
    fnd::Uuid runID_;
    std::uint64_t calls_ = 0;  // calls of run and stop so far
};

}  // namespace tavro
