#include "demo/DemoState.h"

namespace demo {

DemoState DemoState::initial() {
    DemoState state;
    state.chats = {
        {"Tuli", {"Tuli: Are we still on for lunch?"}, {}},
        {"Mika", {"Mika: The photos are up."}, {}},
        {"Kenji", {"Kenji: Call me when you can."}, {}},
        {"Family", {"Mum: Dinner at seven."}, {}},
        {"Work", {"Aiko: Slides are in the shared folder."}, {}},
        {"Ren", {"Ren: 👍"}, {}},
    };
    return state;
}

Chat* DemoState::chat(const std::string& name) {
    for (auto& c : chats) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

const std::vector<std::string>& languages() {
    static const std::vector<std::string> list = {"English", "日本語", "Español", "Français", "Deutsch"};
    return list;
}

const std::vector<std::string>& moreSettings() {
    static const std::vector<std::string> list = {
        "General",       "Accessibility", "Battery",        "Bluetooth",       "Camera",    "Control Centre",
        "Display",       "Do Not Disturb", "Emergency SOS", "Face ID",         "Focus",     "Game Center",
        "Keyboard",      "Mail",          "Maps",           "Messages",        "Music",     "Passwords",
        "Phone",         "Photos",        "Privacy",        "Safari",          "Screen Time", "Siri",
        "Software Update", "Sounds",      "Storage",        "Wallpaper",       "About",     "Legal",
    };
    return list;
}

const std::vector<ShopItem>& shopItems() {
    static const std::vector<ShopItem> items = {
        {"coffee", "Coffee Beans", "$12.00"}, {"tea", "Tea Sampler", "$18.00"}, {"mug", "Mug", "$9.50"},
        {"grinder", "Grinder", "$45.00"},     {"kettle", "Kettle", "$30.00"},
    };
    return items;
}

const std::vector<DemoPhoto>& demoPhotos() {
    static const std::vector<DemoPhoto> photos = {
        {"IMG_0101.JPG", "public.jpeg", 2024, 4, 12, 9, true, false},
        {"IMG_0142.JPG", "public.jpeg", 2024, 5, 3, 18, true, false},
        {"IMG_0157.JPG", "public.jpeg", 2024, 5, 20, 12, false, false},
        {"IMG_0160.PNG", "public.png", 2024, 5, 21, 8, false, true},
    };
    return photos;
}

}  // namespace demo
