// The demo app's screens, built on the headless toolkit: Home (with Profile, the photo picker,
// the human check and the notification prompt), Settings (switches, a Language picker, a Text
// Size slider and a long list), Profile (name, email, password, Save), Chats and a chat (Message
// and Send), Shop (Buy with confirmation, Delete Account) and the human check. The photo picker is
// the system's own, presented by the app.
// Every screen reads and changes the shared DemoState.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "demo/DemoState.h"
#include "platform/ui/Button.h"
#include "platform/ui/HumanCheckView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

namespace demo {

using StatePtr = std::shared_ptr<DemoState>;

// Things a screen asks of the app as a whole.
struct DemoActions {
    std::function<void()> showSystemPrompt;
    std::function<void()> showPhotoPicker;
    std::function<void()> showHumanCheck;
    std::function<void()> showProfile;
    std::function<void()> styleChanged;  // dark mode switched
};

class HomeScreen : public ui::ViewController {
public:
    HomeScreen(StatePtr state, DemoActions actions);
    // Shows the notification state again (it changes while the system prompt is up and answered).
    void refresh();

protected:
    void loadView() override;
    void viewWillAppear(bool animated) override;

private:
    StatePtr state_;
    DemoActions actions_;
    std::shared_ptr<ui::Label> status_;
};

class SettingsScreen : public ui::ViewController {
public:
    SettingsScreen(StatePtr state, DemoActions actions);
    const std::shared_ptr<ui::TableView>& table() const { return table_; }

protected:
    void loadView() override;
    void viewWillAppear(bool animated) override;

private:
    std::shared_ptr<ui::TableViewCell> cellFor(ui::IndexPath path);
    StatePtr state_;
    DemoActions actions_;
    std::shared_ptr<ui::TableView> table_;
};

// A screen that only shows its title's name (the rows of the long Settings list lead here).
class DetailScreen : public ui::ViewController {
public:
    explicit DetailScreen(std::string title) : ui::ViewController(std::move(title)) {}

protected:
    void loadView() override;
};

class ProfileScreen : public ui::ViewController {
public:
    explicit ProfileScreen(StatePtr state);

protected:
    void loadView() override;

private:
    void refresh();
    void save();
    StatePtr state_;
    std::shared_ptr<ui::TextField> name_;
    std::shared_ptr<ui::TextField> email_;
    std::shared_ptr<ui::TextField> password_;
    std::shared_ptr<ui::Button> save_;
    std::shared_ptr<ui::Label> status_;
};

class ChatsScreen : public ui::ViewController {
public:
    explicit ChatsScreen(StatePtr state);
    const std::shared_ptr<ui::TableView>& table() const { return table_; }

protected:
    void loadView() override;
    void viewWillAppear(bool animated) override;

private:
    StatePtr state_;
    std::shared_ptr<ui::TableView> table_;
};

class ChatScreen : public ui::ViewController {
public:
    ChatScreen(StatePtr state, std::string chat);

protected:
    void loadView() override;

private:
    void send();
    void reload();
    StatePtr state_;
    std::string chat_;
    std::shared_ptr<ui::TableView> transcript_;
    std::shared_ptr<ui::TextField> message_;
    std::shared_ptr<ui::Button> send_;
};

class ShopScreen : public ui::ViewController {
public:
    explicit ShopScreen(StatePtr state);

protected:
    void loadView() override;

private:
    void confirmBuy(const ShopItem& item);
    void confirmDelete();
    StatePtr state_;
    std::shared_ptr<ui::Label> status_;
};

// The check ("I'm not a robot") that only a person may solve, and Continue, which is enabled once
// it is solved and goes back to where the check was opened from.
class HumanCheckScreen : public ui::ViewController {
public:
    explicit HumanCheckScreen(StatePtr state);
    const std::shared_ptr<ui::HumanCheckView>& check() const { return check_; }
    const std::shared_ptr<ui::Button>& continueButton() const { return continue_; }
    // What the screen says to the person: the thanks once the check is solved, else its request.
    std::string message() const;

protected:
    void loadView() override;

private:
    StatePtr state_;
    std::shared_ptr<ui::Label> prompt_;
    std::shared_ptr<ui::HumanCheckView> check_;
    std::shared_ptr<ui::Button> continue_;
    std::shared_ptr<ui::Label> status_;
};

}  // namespace demo
