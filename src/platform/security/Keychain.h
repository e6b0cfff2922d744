// Generic secret items by service and account, readable by this user only and kept apart for each
// app, as a phone's keychain keeps them: one file per service in <user data>/tavro-keychain/<app id>
// (folder 0700, files 0600), replaced atomically on every change. The app id is the bundle
// identifier ("app" when none is set), read at each use. The folder lies outside the app's root, so
// a clean install (removing the root) keeps the items. A service's file left by earlier versions in
// tavro-keychain itself, shared by every app, is moved into the folder of the first app that uses
// that service while it has no file of its own (never copied). A file
// that opens but does not parse is moved aside and the service starts empty; a file that cannot be
// opened now is left alone and nothing is written over it. A folder that is a link or not the
// user's own is never read or written: a write moves it aside and makes a fresh one. Temporary
// files of a killed save are removed at the next use and after each write. Safe from any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace security {

class Keychain {
public:
    Keychain() = delete;

    // The item's bytes, or nothing when there is none (or the service's file cannot be read).
    static std::optional<std::string> read(std::string_view service, std::string_view account);
    // Adds or replaces the item. Returns whether it is stored.
    static bool write(std::string_view service, std::string_view account, std::string_view data);
    // Removes the item; true when it is gone afterwards.
    static bool remove(std::string_view service, std::string_view account);
    // Removes every item of the service: its file, the temporary files of killed saves and the
    // copies set aside as unreadable; true when none is left.
    static bool removeAll(std::string_view service);

    // The folder that holds this app's files: <user data>/tavro-keychain/<app id> unless set. A
    // folder set here holds the files itself and takes nothing over; std::nullopt brings the default back.
    static std::filesystem::path directory();
    static void setDirectory(std::optional<std::filesystem::path> directory);
};

}  // namespace security
