// What the demo app remembers while it runs: its settings, the saved profile, the chats and the
// messages sent in them, purchases, the account, the profile photo and the human check. Screens
// read and change it; tests ask the app about it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace demo {

struct Profile {
    std::string name;
    std::string email;
    std::string password;
    bool operator==(const Profile&) const = default;
};

struct Chat {
    std::string name;
    std::vector<std::string> transcript;  // earlier messages, shown above the sent ones
    std::vector<std::string> sent;        // messages sent from this app, in order
};

struct DemoState {
    bool darkMode = false;
    bool wifi = true;
    bool notifications = false;
    std::string language = "English";
    double textSize = 17;
    Profile profile;
    std::vector<Chat> chats;
    std::vector<std::string> purchases;
    bool accountDeleted = false;
    std::optional<std::string> chosenPhoto;  // file name of the photo picked for the profile
    bool humanVerified = false;
    std::optional<std::string> notificationAnswer;  // the system prompt's answer
    bool askingNotifications = false;               // the system prompt is up, not answered yet

    // The state of a freshly installed app.
    static DemoState initial();
    Chat* chat(const std::string& name);
};

// The choices of the Language picker, in order.
const std::vector<std::string>& languages();
// The rows of the long list at the end of Settings, in order.
const std::vector<std::string>& moreSettings();

// An item of the shop.
struct ShopItem {
    std::string id;
    std::string name;
    std::string price;
};
const std::vector<ShopItem>& shopItems();

// A photo of the camera roll the demo sets up on the device.
struct DemoPhoto {
    std::string fileName;
    std::string typeIdentifier;
    int year, month, day, hour;  // when it was taken, UTC
    bool favorite = false;
    bool screenshot = false;
};
// The camera roll, oldest first: two favourites, a newer ordinary photo and, newest of all, a
// screenshot, so the newest favourite is neither the newest photo nor the newest non-screenshot.
const std::vector<DemoPhoto>& demoPhotos();

}  // namespace demo
