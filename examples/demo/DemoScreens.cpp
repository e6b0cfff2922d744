#include "demo/DemoScreens.h"

#include <algorithm>

#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/Window.h"

namespace demo {

using namespace ui;

namespace {

constexpr double margin = 16;

// A screen's root view: the items stacked from the top, full width within the margins, each at
// the height its frame was given.
std::shared_ptr<ContainerView> column(const std::vector<std::shared_ptr<View>>& items, double top = 16,
                                      double spacing = 12) {
    auto v = std::make_shared<ContainerView>(Application::shared()->screenBounds());
    v->setBackgroundColor(Color::white());
    for (const auto& item : items) v->addSubview(item);
    v->setOnLayout([top, spacing](ContainerView& c) {
        double y = top;
        const double w = c.bounds().width;
        for (const auto& s : c.subviews()) {
            const double h = s->frame().height;
            s->setFrame({margin, y, w - 2 * margin, h});
            y += h + spacing;
        }
    });
    v->layoutIfNeeded();
    return v;
}

std::shared_ptr<Button> button(std::string title, std::string identifier, std::function<void()> action) {
    auto b = std::make_shared<Button>(std::move(title), Rect{0, 0, 0, 44});
    b->setAccessibilityIdentifier(std::move(identifier));
    if (action) b->onTap(std::move(action));
    return b;
}

std::shared_ptr<Label> label(std::string text, std::string identifier = {}, double height = 44) {
    auto l = std::make_shared<Label>(std::move(text), Rect{0, 0, 0, height});
    l->setAccessibilityIdentifier(std::move(identifier));
    return l;
}

std::shared_ptr<TextField> field(std::string placeholder, std::string identifier, std::string contentType) {
    auto f = std::make_shared<TextField>(std::move(placeholder), Rect{0, 0, 0, 44});
    f->setAccessibilityIdentifier(std::move(identifier));
    f->setTextContentType(std::move(contentType));
    return f;
}

template <class T>
std::weak_ptr<T> weakSelf(T* self) {
    return std::static_pointer_cast<T>(self->shared_from_this());
}

}  // namespace

// ---- Home ----

HomeScreen::HomeScreen(StatePtr state, DemoActions actions)
    : ViewController("Home"), state_(std::move(state)), actions_(std::move(actions)) {}

void HomeScreen::loadView() {
    status_ = label("", "home.status");
    setView(column({
        label("Welcome to the Demo app.", "home.welcome"),
        button("Profile", "home.profile", actions_.showProfile),
        button("Choose Photo", "home.photo", actions_.showPhotoPicker),
        button("Verify You're Human", "home.humanCheck", actions_.showHumanCheck),
        button("Allow Notifications", "home.notifications", actions_.showSystemPrompt),
        status_,
    }));
}

void HomeScreen::viewWillAppear(bool) { refresh(); }

void HomeScreen::refresh() {
    if (!status_) return;
    status_->setText(state_->askingNotifications ? "Waiting for your answer about notifications."
                     : state_->notifications     ? "Notifications are on."
                                                 : "Notifications are off.");
}

// ---- Settings ----

SettingsScreen::SettingsScreen(StatePtr state, DemoActions actions)
    : ViewController("Settings"), state_(std::move(state)), actions_(std::move(actions)) {}

namespace {
enum Section { appearance, connectivity, language, more, sectionCount };
constexpr double pickerRowHeight = 160;
}  // namespace

void SettingsScreen::loadView() {
    table_ = std::make_shared<TableView>(Application::shared()->screenBounds());
    table_->setAccessibilityIdentifier("settings.list");
    setView(table_);
    std::weak_ptr<SettingsScreen> weak = weakSelf(this);
    TableView::Source source;
    source.sections = [] { return static_cast<int>(sectionCount); };
    source.rows = [](int s) {
        switch (s) {
        case appearance: return 2;
        case connectivity: return 2;
        case language: return 1;
        default: return static_cast<int>(moreSettings().size()) + 1;  // and the version row
        }
    };
    source.header = [](int s) -> std::string {
        switch (s) {
        case appearance: return "Appearance";
        case connectivity: return "Connectivity";
        case language: return "Language";
        default: return "More";
        }
    };
    source.height = [](IndexPath p) { return p.section == language ? pickerRowHeight : 44.0; };
    source.cell = [weak](IndexPath p) {
        auto self = weak.lock();
        return self ? self->cellFor(p) : nullptr;
    };
    source.didSelect = [weak](IndexPath p) {
        auto self = weak.lock();
        if (!self || p.section != more || p.row >= static_cast<int>(moreSettings().size())) return;
        if (auto nav = self->navigationController()) {
            nav->pushViewController(std::make_shared<DetailScreen>(moreSettings()[p.row]), true);
        }
    };
    table_->setSource(std::move(source));
}

std::shared_ptr<TableViewCell> SettingsScreen::cellFor(IndexPath p) {
    auto state = state_;
    auto actions = actions_;
    const auto switchRow = [&](std::string title, std::string id, bool on, std::function<void(bool)> changed) {
        auto cell = std::make_shared<TableViewCell>(title);
        cell->setSelectable(false);
        auto sw = std::make_shared<Switch>(on, Rect{0, 0, 51, 31});
        sw->setAccessibilityLabel(std::move(title));
        sw->setAccessibilityIdentifier(std::move(id));
        sw->addAction(ControlEvent::valueChanged, [changed](Control& c) { changed(static_cast<Switch&>(c).isOn()); });
        cell->setAccessoryView(sw);
        return cell;
    };
    switch (p.section) {
    case appearance:
        if (p.row == 0) {
            return switchRow("Dark Mode", "settings.darkMode", state->darkMode, [state, actions](bool on) {
                state->darkMode = on;
                if (actions.styleChanged) actions.styleChanged();
            });
        } else {
            auto cell = std::make_shared<TableViewCell>("Text Size");
            cell->setSelectable(false);
            auto slider = std::make_shared<Slider>(12.0, 24.0, state->textSize, Rect{0, 0, 160, 31});
            slider->setStep(1);
            slider->setAccessibilityLabel("Text Size");
            slider->setAccessibilityIdentifier("settings.textSize");
            slider->addAction(ControlEvent::valueChanged,
                              [state](Control& c) { state->textSize = static_cast<Slider&>(c).value(); });
            cell->setAccessoryView(slider);
            return cell;
        }
    case connectivity:
        if (p.row == 0) {
            return switchRow("Wi-Fi", "settings.wifi", state->wifi, [state](bool on) { state->wifi = on; });
        }
        return switchRow("Notifications", "settings.notifications", state->notifications,
                         [state](bool on) { state->notifications = on; });
    case language: {
        auto cell = std::make_shared<TableViewCell>();
        cell->setSelectable(false);
        auto picker = std::make_shared<PickerView>(languages(), Rect{margin, 0, 358, pickerRowHeight});
        picker->setAccessibilityLabel("Language");
        picker->setAccessibilityIdentifier("settings.language");
        const auto& list = languages();
        const auto at = std::find(list.begin(), list.end(), state->language);
        picker->setSelectedRow(at == list.end() ? 0 : static_cast<int>(at - list.begin()));
        picker->setOnSelect([state](int row) { state->language = languages()[row]; });
        cell->setAccessoryView(picker);
        return cell;
    }
    default: break;
    }
    if (p.row < static_cast<int>(moreSettings().size())) {
        auto cell = std::make_shared<TableViewCell>(moreSettings()[p.row]);
        cell->setAccessoryType(AccessoryType::disclosureIndicator);
        return cell;
    }
    auto cell = std::make_shared<TableViewCell>("Version");
    cell->setDetailText("1.0 (42)");
    cell->setSelectable(false);
    return cell;
}

void SettingsScreen::viewWillAppear(bool) {
    if (table_) table_->reloadData();
}

void DetailScreen::loadView() { setView(column({label(title() + " settings are up to date.")})); }

// ---- Profile ----

ProfileScreen::ProfileScreen(StatePtr state) : ViewController("Profile"), state_(std::move(state)) {}

void ProfileScreen::loadView() {
    name_ = field("Name", "profile.name", "name");
    email_ = field("Email", "profile.email", "emailAddress");
    password_ = field("Password", "profile.password", "password");
    password_->setSecureTextEntry(true);
    name_->setText(state_->profile.name);
    email_->setText(state_->profile.email);
    password_->setText(state_->profile.password);
    std::weak_ptr<ProfileScreen> weak = weakSelf(this);
    save_ = button("Save", "profile.save", [weak] {
        if (auto self = weak.lock()) self->save();
    });
    status_ = label("", "profile.status");
    for (const auto& f : {name_, email_, password_}) {
        f->addAction(ControlEvent::editingChanged, [weak](Control&) {
            if (auto self = weak.lock()) self->refresh();
        });
    }
    // Return moves to the next field; on the last one it saves.
    name_->setShouldReturn([weak](TextField&) {
        if (auto self = weak.lock()) self->email_->becomeFirstResponder();
        return true;
    });
    email_->setShouldReturn([weak](TextField&) {
        if (auto self = weak.lock()) self->password_->becomeFirstResponder();
        return true;
    });
    password_->setShouldReturn([weak](TextField&) {
        if (auto self = weak.lock(); self && self->save_->isEnabled()) self->save();
        return true;
    });
    setView(column({name_, email_, password_, save_, status_}));
    refresh();
}

void ProfileScreen::refresh() {
    const Profile typed{name_->text(), email_->text(), password_->text()};
    save_->setEnabled(!typed.name.empty() && typed != state_->profile);
}

void ProfileScreen::save() {
    state_->profile = {name_->text(), email_->text(), password_->text()};
    status_->setText("Profile saved.");
    if (auto w = window()) w->endEditing();
    refresh();
}

// ---- Chats ----

ChatsScreen::ChatsScreen(StatePtr state) : ViewController("Chats"), state_(std::move(state)) {}

void ChatsScreen::loadView() {
    table_ = std::make_shared<TableView>(Application::shared()->screenBounds());
    table_->setAccessibilityIdentifier("chats.list");
    setView(table_);
    std::weak_ptr<ChatsScreen> weak = weakSelf(this);
    auto state = state_;
    TableView::Source source;
    source.rows = [state](int) { return static_cast<int>(state->chats.size()); };
    source.height = [](IndexPath) { return 60.0; };
    source.cell = [state](IndexPath p) {
        const Chat& chat = state->chats[p.row];
        auto cell = std::make_shared<TableViewCell>(chat.name);
        const std::string last = chat.sent.empty() ? (chat.transcript.empty() ? "" : chat.transcript.back())
                                                    : "You: " + chat.sent.back();
        cell->setDetailText(last);
        cell->setAccessibilityIdentifier("chats.row." + chat.name);
        cell->setAccessoryType(AccessoryType::disclosureIndicator);
        return cell;
    };
    source.didSelect = [weak, state](IndexPath p) {
        auto self = weak.lock();
        if (!self || p.row >= static_cast<int>(state->chats.size())) return;
        if (auto nav = self->navigationController()) {
            nav->pushViewController(std::make_shared<ChatScreen>(state, state->chats[p.row].name), true);
        }
    };
    source.trailingSwipeActions = [weak, state](IndexPath p) {
        const std::string name = p.row < static_cast<int>(state->chats.size()) ? state->chats[p.row].name : "";
        return std::vector<ContextualAction>{{ContextualAction::Style::destructive, "Delete", [weak, state, name] {
            std::erase_if(state->chats, [&](const Chat& c) { return c.name == name; });
            if (auto self = weak.lock()) self->table_->reloadData();
            return true;
        }}};
    };
    source.leadingSwipeActions = [weak, state](IndexPath p) {
        const std::string name = p.row < static_cast<int>(state->chats.size()) ? state->chats[p.row].name : "";
        return std::vector<ContextualAction>{{ContextualAction::Style::normal, "Pin", [weak, state, name] {
            auto it = std::find_if(state->chats.begin(), state->chats.end(), [&](const Chat& c) { return c.name == name; });
            if (it == state->chats.end()) return false;
            std::rotate(state->chats.begin(), it, it + 1);
            if (auto self = weak.lock()) self->table_->reloadData();
            return true;
        }}};
    };
    table_->setSource(std::move(source));
}

void ChatsScreen::viewWillAppear(bool) {
    if (table_) table_->reloadData();
}

ChatScreen::ChatScreen(StatePtr state, std::string chat)
    : ViewController(chat), state_(std::move(state)), chat_(std::move(chat)) {}

void ChatScreen::loadView() {
    auto root = std::make_shared<ContainerView>(Application::shared()->screenBounds());
    root->setBackgroundColor(Color::white());
    setView(root);
    transcript_ = std::make_shared<TableView>();
    transcript_->setAccessibilityIdentifier("chat.transcript");
    message_ = field("Message", "chat.message", "");
    std::weak_ptr<ChatScreen> weak = weakSelf(this);
    send_ = button("Send", "chat.send", [weak] {
        if (auto self = weak.lock()) self->send();
    });
    send_->setEnabled(false);
    message_->addAction(ControlEvent::editingChanged, [weak](Control& c) {
        if (auto self = weak.lock()) self->send_->setEnabled(!static_cast<TextField&>(c).text().empty());
    });
    message_->addAction(ControlEvent::primaryActionTriggered, [weak](Control&) {
        if (auto self = weak.lock()) self->send();
    });
    root->addSubview(transcript_);
    root->addSubview(message_);
    root->addSubview(send_);
    root->setOnLayout([weak](ContainerView& v) {
        auto self = weak.lock();
        if (!self) return;
        const Rect b = v.bounds();
        self->transcript_->setFrame({0, 0, b.width, std::max(0.0, b.height - 60)});
        self->message_->setFrame({margin, b.height - 52, b.width - 2 * margin - 72, 44});
        self->send_->setFrame({b.width - margin - 64, b.height - 52, 64, 44});
    });
    root->layoutIfNeeded();
    auto state = state_;
    const std::string name = chat_;
    TableView::Source source;
    source.rows = [state, name](int) {
        const Chat* chat = state->chat(name);
        return chat ? static_cast<int>(chat->transcript.size() + chat->sent.size()) : 0;
    };
    source.cell = [state, name, weak](IndexPath p) {
        const Chat* chat = state->chat(name);
        const auto incoming = static_cast<int>(chat->transcript.size());
        const bool mine = p.row >= incoming;
        const std::string text = mine ? "You: " + chat->sent[p.row - incoming] : chat->transcript[p.row];
        auto cell = std::make_shared<TableViewCell>(text);
        cell->setSelectable(false);
        Menu menu{"", {{"Copy", "chat.copy", false, false, [text] { Pasteboard::general()->setString(text); }}}};
        if (mine) {
            const std::size_t index = static_cast<std::size_t>(p.row - incoming);
            menu.actions.push_back({"Delete", "chat.delete", true, false, [state, name, index, weak] {
                                        Chat* c = state->chat(name);
                                        if (c && index < c->sent.size()) c->sent.erase(c->sent.begin() + static_cast<std::ptrdiff_t>(index));
                                        if (auto self = weak.lock()) self->reload();
                                    }});
        }
        cell->setContextMenu(std::move(menu));
        return cell;
    };
    transcript_->setSource(std::move(source));
}

void ChatScreen::reload() {
    transcript_->reloadData();
    const int rows = transcript_->numberOfRows(0);
    if (rows > 0) transcript_->scrollToRow({0, rows - 1});
}

void ChatScreen::send() {
    const std::string text = message_->text();
    if (text.find_first_not_of(" \t\n") == std::string::npos) return;
    if (Chat* chat = state_->chat(chat_)) chat->sent.push_back(text);
    message_->setText("");
    send_->setEnabled(false);
    reload();
}

// ---- Shop ----

ShopScreen::ShopScreen(StatePtr state) : ViewController("Shop"), state_(std::move(state)) {}

void ShopScreen::loadView() {
    const Rect screen = Application::shared()->screenBounds();
    auto scroll = std::make_shared<ScrollView>(screen);
    scroll->setBackgroundColor(Color::white());
    scroll->setAccessibilityIdentifier("shop.scroll");
    setView(scroll);
    std::weak_ptr<ShopScreen> weak = weakSelf(this);
    const double w = screen.width;
    double y = 16;

    auto banner = std::make_shared<ScrollView>(Rect{0, y, w, 150});
    banner->setPagingEnabled(true);
    banner->setAccessibilityIdentifier("shop.banner");
    const std::vector<std::string> pages = {"Summer Sale", "New Arrivals", "Free Shipping"};
    const std::vector<Color> colours = {Color::rgb(255, 204, 0), Color::rgb(90, 200, 250), Color::rgb(52, 199, 89)};
    for (std::size_t i = 0; i < pages.size(); ++i) {
        auto page = std::make_shared<Label>(pages[i], Rect{w * static_cast<double>(i) + margin, 0, w - 2 * margin, 150});
        page->setBackgroundColor(colours[i]);
        banner->addSubview(page);
    }
    banner->setContentSize({w * static_cast<double>(pages.size()), 150});
    scroll->addSubview(banner);
    y += 166;

    for (const auto& item : shopItems()) {
        auto row = std::make_shared<View>(Rect{0, y, w, 56});
        row->addSubview(std::make_shared<Label>(item.name, Rect{margin, 0, 170, 56}));
        row->addSubview(std::make_shared<Label>(item.price, Rect{margin + 178, 0, 80, 56}));
        auto buy = std::make_shared<Button>("Buy", Rect{w - margin - 72, 6, 72, 44});
        buy->setAccessibilityIdentifier("shop.buy." + item.id);
        // Five buttons read "Buy": each one's label says what it buys, as approvals and readings show.
        buy->setAccessibilityLabel("Buy " + item.name);
        buy->setAccessibilityUserInputLabels({"Buy " + item.name});
        buy->onTap([weak, item] {
            if (auto self = weak.lock()) self->confirmBuy(item);
        });
        row->addSubview(buy);
        scroll->addSubview(row);
        y += 56;
    }
    y += 24;
    auto remove = std::make_shared<Button>("Delete Account", Rect{margin, y, w - 2 * margin, 44});
    remove->setTitleColor(Color::systemRed());
    remove->setAccessibilityIdentifier("shop.deleteAccount");
    remove->onTap([weak] {
        if (auto self = weak.lock()) self->confirmDelete();
    });
    scroll->addSubview(remove);
    y += 56;
    status_ = std::make_shared<Label>("", Rect{margin, y, w - 2 * margin, 44});
    status_->setAccessibilityIdentifier("shop.status");
    scroll->addSubview(status_);
    y += 60;
    scroll->setContentSize({w, y});
}

void ShopScreen::confirmBuy(const ShopItem& item) {
    auto alert = std::make_shared<AlertController>("Buy " + item.name + "?", item.price + " will be charged.");
    alert->addAction({"Cancel", AlertAction::Style::cancel, {}});
    auto state = state_;
    std::weak_ptr<ShopScreen> weak = weakSelf(this);
    alert->addAction({"Buy", AlertAction::Style::normal, [state, weak, name = item.name] {
                          state->purchases.push_back(name);
                          if (auto self = weak.lock()) self->status_->setText("Purchased " + name + ".");
                      }});
    present(alert, true);
}

void ShopScreen::confirmDelete() {
    auto alert = std::make_shared<AlertController>("Delete Account?", "This cannot be undone.");
    alert->addAction({"Cancel", AlertAction::Style::cancel, {}});
    auto state = state_;
    std::weak_ptr<ShopScreen> weak = weakSelf(this);
    alert->addAction({"Delete", AlertAction::Style::destructive, [state, weak] {
                          state->accountDeleted = true;
                          if (auto self = weak.lock()) self->status_->setText("Account deleted.");
                      }});
    present(alert, true);
}

// ---- Human check ----

HumanCheckScreen::HumanCheckScreen(StatePtr state) : ViewController("Verification"), state_(std::move(state)) {}

void HumanCheckScreen::loadView() {
    prompt_ = label("Please confirm you are human to continue.", "verify.prompt");
    check_ = std::make_shared<HumanCheckView>("I'm not a robot", Rect{0, 0, 0, 74});
    check_->setAccessibilityIdentifier("verify.check");
    status_ = label("", "verify.status");
    std::weak_ptr<HumanCheckScreen> weak = weakSelf(this);
    continue_ = button("Continue", "verify.continue", [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto nav = self->navigationController()) nav->popViewController(true);
    });
    continue_->setEnabled(false);
    auto state = state_;
    check_->setOnSolved([state, weak] {
        state->humanVerified = true;
        if (auto self = weak.lock()) {
            self->status_->setText("Thanks, you're verified.");
            self->continue_->setEnabled(true);
        }
    });
    setView(column({prompt_, check_, continue_, status_}));
}

std::string HumanCheckScreen::message() const {
    if (status_ && !status_->text().empty()) return status_->text();
    return prompt_ ? prompt_->text() : std::string();
}

}  // namespace demo
