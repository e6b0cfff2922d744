// Files that survive a crash mid-save: whole-file replacement through a synced temporary file, and
// moving an unreadable file out of the way so that the next save does not destroy it.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fnd {

// Writes the bytes to a new temporary file beside `file` (owner-only), syncs it, renames it over
// `file` and syncs the directory. The directory is created when missing. Returns whether the new
// content is in place; on failure the old file is untouched. `beforeRename` lets tests stop there.
bool writeAtomically(const std::filesystem::path& file, std::string_view bytes,
                     const std::function<void(const std::filesystem::path& temporary)>& beforeRename = {});

// Renames `file` to `file` + suffix (with "-2", "-3", ... when that name is taken). Returns the new
// path, or nothing when the file could not be moved.
std::optional<std::filesystem::path> keepAside(const std::filesystem::path& file, std::string_view suffix);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& file);

}  // namespace fnd
