// Files that survive a crash mid-save: whole-file replacement through a synced temporary file,
// moving an unreadable file out of the way so that the next save does not destroy it, and the one
// careful way every store and cache reads its file. Temporary
// files are named "<name>.tmp-<process id>-<random>", so that those left by a killed save can be
// told from those a save is writing.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <limits>
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

// What reading a file whole found.
struct FileBytes {
    enum class Access {
        read,         // `text` holds the whole file
        missing,      // nothing at the path (or no folder to hold it)
        unavailable,  // cannot be read now (no permission, an I/O error, no memory): leave it alone
        unreadable,   // never readable as a file: a directory, FIFO, device, link, or over the limit
    };
    Access access = Access::read;
    std::string text;
    std::string error;  // why not, when not read
};

// Reads a regular file whole. Never blocks on a FIFO, never follows a link at the path, and never
// reads more than `limit` bytes: a larger file is unreadable without being read.
FileBytes readFileBytes(const std::filesystem::path& file, std::size_t limit = std::numeric_limits<std::size_t>::max());

// The whole file as readFileBytes reads it, or nothing when it was not read.
std::optional<std::string> readFile(const std::filesystem::path& file);

}  // namespace fnd
