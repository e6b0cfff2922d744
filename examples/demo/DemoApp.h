// The demo app: a small app on the headless toolkit with tabs for Home, Chats, Shop and Settings,
// a Profile form, the system photo picker, a human check and a notification prompt. It builds its
// own scene and key window in the shared application, offers the routes "Settings", "Profile",
// "Chats" and "Shop", answers questions about its state, and can be reset to how it first started.
// It sets up the device's camera roll with a few fixed photos (access granted) and registers the
// app's photo hand-off, so a photo Tavro picks becomes the profile photo. Tests and the demo
// command drive it; everything it does is deterministic.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/DemoState.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace demo {

class HomeScreen;
class HumanCheckScreen;

class DemoApp : public std::enable_shared_from_this<DemoApp> {
public:
    // A new app on a new foreground-active scene of the shared application, with its key window
    // showing the Home tab. Sets the main bundle's display name to "Tavro Demo" when none is set. The
    // shared photo library then holds exactly the demo's photos with read-write access granted,
    // and the host's photo handler is this app's.
    static std::shared_ptr<DemoApp> create();
    // Disconnects the app's scene; removes the photo handler when it is still this app's.
    ~DemoApp();
    DemoApp(const DemoApp&) = delete;
    DemoApp& operator=(const DemoApp&) = delete;

    // Back to the first screen and the state of a fresh install (a pending prompt is declined), with
    // the demo's photos and this app's photo handler in place again.
    void reset();

    const std::shared_ptr<ui::Window>& window() const { return window_; }
    const std::shared_ptr<ui::WindowScene>& scene() const { return scene_; }
    const std::shared_ptr<ui::TabBarController>& tabs() const { return tabs_; }

    // "Settings", "Profile", "Chats" and "Shop": each closes what is presented and opens that screen.
    std::map<std::string, std::function<void()>> routes();

    // ---- state ----
    const DemoState& state() const { return *state_; }
    bool darkMode() const { return state_->darkMode; }
    bool wifi() const { return state_->wifi; }
    bool notifications() const { return state_->notifications; }
    const std::string& language() const { return state_->language; }
    double textSize() const { return state_->textSize; }
    const Profile& savedProfile() const { return state_->profile; }
    // The messages sent in the chat with that name (empty for an unknown chat).
    std::vector<std::string> messagesSent(std::string_view chat) const;
    std::vector<std::string> chats() const;
    const std::vector<std::string>& purchases() const { return state_->purchases; }
    bool accountDeleted() const { return state_->accountDeleted; }
    // The file name of the photo picked for the profile, by a person or handed over by Tavro.
    const std::optional<std::string>& chosenPhoto() const { return state_->chosenPhoto; }
    bool humanVerified() const { return state_->humanVerified; }

    // ---- things a person or the system does ----
    // The notification permission prompt: the application is inactive until it is answered, and
    // Home says it waits for the answer.
    void showSystemPrompt();
    bool systemPromptShowing() const;
    // Answers the prompt ("Allow" or "Don't Allow").
    bool answerSystemPrompt(std::string_view answer);
    // Presents the system photo picker (one image) over whatever is on screen; what a person picks
    // there becomes the profile photo, and the picker closes either way.
    void showPhotoPicker();
    // Opens the human check screen from Home.
    void showHumanCheck();
    // The human check screen when it is the screen on top, else nothing.
    std::shared_ptr<HumanCheckScreen> humanCheckScreen() const;
    // A person solves the human check on screen; false when none is showing.
    bool solveHumanCheck();

private:
    DemoApp() = default;
    void build();
    void install();
    void closePresented();
    void openTab(int index);
    void seedPhotos();
    void installPhotoHandler();

    std::shared_ptr<DemoState> state_;
    std::shared_ptr<ui::WindowScene> scene_;
    std::shared_ptr<ui::Window> window_;
    std::shared_ptr<ui::TabBarController> tabs_;
    std::weak_ptr<HomeScreen> home_;
};

}  // namespace demo
