// The one file behind a store that must never lose data (the recipes, the user defaults, the app
// map). Reading tells three cases apart:
// - the file was read, or there is none: saving is safe;
// - the file cannot be opened or read now (too many open files, no permission, an I/O error, no
//   memory): it is left where it is and nothing is saved over it;
// - the file was opened but cannot be read as the store (a directory, link or other non-file,
//   bytes the store does not accept): it is moved aside as "<name>.unreadable-<time>" and the
//   store starts empty; when it cannot be moved, nothing is saved over it.
// A save over a file that was neither read nor set aside first reads the file again, so the store
// can take in what is there; only then is the file replaced (atomically, see AtomicFile).
// Temporary files left by a save that was killed are removed at the next load or successful save.
// Not thread-safe: the owning store serialises its calls.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fnd {

class StoreFile {
public:
    // Takes in the bytes of the file; false when they do not form a readable store (the reader must
    // then have changed nothing). May throw: that counts as false.
    using Reader = std::function<bool(std::string_view bytes)>;

    enum class Loaded {
        read,         // the reader took the file in
        missing,      // no file yet
        setAside,     // unreadable, moved aside; the store starts empty
        unavailable,  // cannot be read now; left in place
        stuck,        // unreadable and could not be moved aside; left in place
    };

    explicit StoreFile(std::filesystem::path file);

    // Reads the file through `reader` and removes stale temporary files of this store.
    Loaded load(const Reader& reader);

    // Replaces the file with `bytes()`. When the file was neither read nor set aside, it is first
    // loaded again through `reader`, and nothing is written unless that load makes saving safe.
    // Returns whether the new content is in place; lastError() says why not.
    bool save(const std::function<std::string()>& bytes, const Reader& reader);

    // Keeps a copy of bytes that were read but only partly taken in, under the unreadable name,
    // so that what the store dropped is not lost when it next saves.
    void keepCopy(std::string_view bytes);

    // Whether a save may replace the file without loading it again first.
    bool safeToSave() const { return safe_; }
    // Where an unreadable file was last moved (or copied), if anywhere.
    const std::optional<std::filesystem::path>& setAside() const { return setAside_; }
    // Why the last load or save did not succeed, for the activity log.
    const std::string& lastError() const { return lastError_; }
    const std::filesystem::path& path() const { return file_; }

    // Called after a save has written and synced its temporary file and before the rename that
    // publishes it. Tests use it to end the process at that point.
    void setBeforeRename(std::function<void(const std::filesystem::path& temporary)> hook) {
        beforeRename_ = std::move(hook);
    }

private:
    void moveAside();

    const std::filesystem::path file_;
    bool safe_ = false;
    std::optional<std::filesystem::path> setAside_;
    std::string lastError_;
    std::function<void(const std::filesystem::path&)> beforeRename_;
};

}  // namespace fnd
