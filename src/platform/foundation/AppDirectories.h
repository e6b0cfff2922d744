// The app's own directories: Application Support (lasting files) and a temporary directory, both
// under one root. The host sets the root; by default it is the XDG data directory
// ($XDG_DATA_HOME, else ~/.local/share) followed by the app id's folder name (appFolderName).
// Tests use a fresh temporary root. Directories are created when asked for.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace fnd {

class AppDirectories {
public:
    AppDirectories() = delete;

    // The user's data directory: $XDG_DATA_HOME when it is an absolute path, else
    // ~/.local/share, else the system's temporary directory. Not created here.
    static std::filesystem::path userData();

    // The bundle identifier as a folder name, "app" when none is set. Every id has a folder of its
    // own: "/", "%" and control characters are percent-escaped, and so are the dots of "." and
    // "..", so that no two ids share a folder and none leaves the parent. Any other id is its own
    // folder name, as before; data that ids with "/" or of dots alone kept in the shared folder
    // "app" stays there, with the app that has no identifier, since nothing in it tells which id
    // wrote it.
    static std::string appFolderName();

    static std::filesystem::path root();
    static void setRoot(std::optional<std::filesystem::path> root);  // nothing: back to the default
    // Creates a new empty directory under the system's temporary directory and makes it the root.
    // reset() removes it again with everything in it.
    static std::filesystem::path useFreshTemporaryRoot();

    // <root>/Application Support and <root>/tmp, created when missing.
    static std::filesystem::path applicationSupport();
    static std::filesystem::path temporary();

    // Back to the default root; removes the temporary roots made by useFreshTemporaryRoot.
    static void reset();
};

}  // namespace fnd
