// The application object: its state (active, inactive, background), its connected window scenes,
// the idle-timer flag, opening URLs, the on-screen keyboard, system prompts that cover the app
// (the app is inactive while one is up) and the count of view-controller transitions in progress.
// One shared instance per process; tests replace it with a fresh one.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/ui/Geometry.h"
#include "platform/ui/WindowScene.h"

namespace ui {

class Window;

// Names of the notifications the application and its scenes post (object: the application or the
// scene; keyboard notifications carry no object).
namespace Notification {
inline constexpr std::string_view didBecomeActive = "UIApplicationDidBecomeActiveNotification";
inline constexpr std::string_view willResignActive = "UIApplicationWillResignActiveNotification";
inline constexpr std::string_view didEnterBackground = "UIApplicationDidEnterBackgroundNotification";
inline constexpr std::string_view willEnterForeground = "UIApplicationWillEnterForegroundNotification";
inline constexpr std::string_view sceneDidActivate = "UISceneDidActivateNotification";
inline constexpr std::string_view sceneWillDeactivate = "UISceneWillDeactivateNotification";
inline constexpr std::string_view sceneDidEnterBackground = "UISceneDidEnterBackgroundNotification";
inline constexpr std::string_view sceneWillEnterForeground = "UISceneWillEnterForegroundNotification";
inline constexpr std::string_view keyboardWillShow = "UIKeyboardWillShowNotification";
inline constexpr std::string_view keyboardDidShow = "UIKeyboardDidShowNotification";
inline constexpr std::string_view keyboardWillHide = "UIKeyboardWillHideNotification";
inline constexpr std::string_view keyboardDidHide = "UIKeyboardDidHideNotification";
inline constexpr std::string_view keyboardWillChangeFrame = "UIKeyboardWillChangeFrameNotification";
inline constexpr std::string_view textFieldTextDidChange = "UITextFieldTextDidChangeNotification";
inline constexpr std::string_view textFieldTextDidEndEditing = "UITextFieldTextDidEndEditingNotification";
inline constexpr std::string_view textViewTextDidChange = "UITextViewTextDidChangeNotification";
inline constexpr std::string_view textViewTextDidEndEditing = "UITextViewTextDidEndEditingNotification";
// The user-info key of the keyboard notifications: the keyboard's frame at the end of the change,
// an object with "x", "y", "width" and "height".
inline constexpr std::string_view keyboardFrameEndKey = "UIKeyboardFrameEndUserInfoKey";
}  // namespace Notification

class Application : public std::enable_shared_from_this<Application> {
public:
    enum class State : std::uint8_t { active, inactive, background };
    enum class Idiom : std::uint8_t { phone, pad };

    // A prompt of the system shown over the app (a permission request, a payment sheet).
    struct SystemPrompt {
        std::string title;
        std::string message;
        std::vector<std::string> buttons;
        std::function<void(const std::string& answer)> onAnswer;
    };

    // Held while a transition runs; the count drops when it is destroyed.
    class TransitionToken {
    public:
        TransitionToken() = default;
        TransitionToken(TransitionToken&& other) noexcept = default;
        TransitionToken& operator=(TransitionToken&& other) noexcept;
        TransitionToken(const TransitionToken&) = delete;
        TransitionToken& operator=(const TransitionToken&) = delete;
        ~TransitionToken();

    private:
        friend class Application;
        explicit TransitionToken(std::weak_ptr<Application> app) : app_(std::move(app)) {}
        std::weak_ptr<Application> app_;
    };

    static std::shared_ptr<Application> create();
    // The process-wide application, created on first use.
    static std::shared_ptr<Application> shared();
    // Replaces the shared application with a fresh one (tests, the demo's reset).
    static void resetShared();
    // Registers the class "UIApplication" in the dynamic class registry: its key
    // "sharedApplication" answers an object standing for the shared application, with the key
    // "idleTimerDisabled" (read and written). Done when the shared application is created; call
    // it again after the registry was emptied.
    static void registerRuntimeClass();

    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // ---- state ----
    State applicationState() const { return state_; }
    // Moves to the state, posting the notifications of each step on the way (active <-> inactive
    // <-> background); the foreground scenes follow.
    void setApplicationState(State state);

    bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }

    // ---- scenes and windows ----
    const std::vector<std::shared_ptr<WindowScene>>& connectedScenes() const { return scenes_; }
    // Connects a new scene, foreground active while the application is active.
    std::shared_ptr<WindowScene> connectScene();
    void disconnectScene(const std::shared_ptr<WindowScene>& scene);
    // Every window of every connected scene, in scene order.
    std::vector<std::shared_ptr<Window>> windows() const;

    Rect screenBounds() const { return screen_; }
    void setScreenBounds(const Rect& bounds) { screen_ = bounds; }
    Idiom userInterfaceIdiom() const { return idiom_; }
    void setUserInterfaceIdiom(Idiom idiom) { idiom_ = idiom; }

    // ---- URLs ----
    // Records the address as opened; the completion gets whether it could be opened (any address
    // with a scheme).
    void open(std::string url, std::function<void(bool)> completion = {});
    bool canOpenURL(std::string_view url) const;
    const std::vector<std::string>& openedURLs() const { return opened_; }

    // ---- keyboard ----
    // The keyboard is up while a text input of some window holds the focus.
    bool isKeyboardVisible() const { return keyboardVisible_; }
    // Where the keyboard covers the screen; empty while it is down.
    Rect keyboardFrame() const;

    // ---- system prompts ----
    // Shows the prompt over the app; the application turns inactive until it is answered. False
    // when a prompt is already up.
    bool showSystemPrompt(SystemPrompt prompt);
    const SystemPrompt* systemPrompt() const { return prompt_ ? &*prompt_ : nullptr; }
    // Answers the prompt with one of its buttons: the application turns active again and the
    // prompt's handler gets the answer. False when no prompt is up or the button is not one of it.
    bool answerSystemPrompt(std::string_view button);

    // ---- transitions ----
    TransitionToken beginTransition();
    bool isTransitionRunning() const { return transitions_ > 0; }

    // Posts one of the toolkit's notifications on the default notification centre.
    void postNotification(std::string_view name, std::shared_ptr<void> object = nullptr,
                          nlohmann::json userInfo = nullptr);

private:
    friend class Window;
    friend class WindowScene;
    Application() = default;
    void keyboardMayHaveChanged();
    void post(std::string_view name) { postNotification(name, shared_from_this()); }
    void postKeyboard(std::string_view name);

    std::vector<std::shared_ptr<WindowScene>> scenes_;
    std::vector<std::string> opened_;
    std::optional<SystemPrompt> prompt_;
    Rect screen_{0, 0, 390, 844};
    int transitions_ = 0;
    State state_ = State::active;
    Idiom idiom_ = Idiom::phone;
    bool idleTimerDisabled_ = false;
    bool keyboardVisible_ = false;
};

}  // namespace ui
