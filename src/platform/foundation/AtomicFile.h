// Files that survive a crash mid-save: whole-file replacement through a synced temporary file, and
// moving an unreadable file out of the way so that the next save does not destroy it. Temporary
// files are named "<name>.tmp-<process id>-<random>", so that those left by a killed save can be
// told from those a save is writing.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fnd {

// Writes the bytes to a new temporary file beside `file` (owner-only), syncs it, renames it over
// `file` and syncs the directory. The directory is created when missing. Returns whether the new
// content is in place; on failure the old file is untouched and `why` (when given) says what
// failed. `beforeRename` lets tests stop there.
bool writeAtomically(const std::filesystem::path& file, std::string_view bytes,
                     const std::function<void(const std::filesystem::path& temporary)>& beforeRename = {},
                     std::string* why = nullptr);

// Removes the temporary files of `file` that no save will ever rename: those of processes that
// are gone and those of this process that none of its saves is writing. Best effort.
void removeStaleTemporaries(const std::filesystem::path& file);

// The first of `base`, `base`-2, `base`-3, ... that names nothing yet.
std::optional<std::filesystem::path> unusedName(const std::filesystem::path& base);

// Renames `file` to `file` + suffix (with "-2", "-3", ... when that name is taken). Returns the new
// path, or nothing when the file could not be moved.
std::optional<std::filesystem::path> keepAside(const std::filesystem::path& file, std::string_view suffix);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& file);

}  // namespace fnd
