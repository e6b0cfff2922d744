// A scratch folder for fuzz targets that write store files, made once per process. In memory when
// the system offers it: every save syncs its file, which on a disk would take most of the time.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::filesystem::path fuzzScratchDirectory(const std::string& name) {
    std::error_code error;
    const auto base = std::filesystem::is_directory("/dev/shm", error) ? std::filesystem::path("/dev/shm")
                                                                        : std::filesystem::temp_directory_path();
    std::string pattern = (base / ("tavro-fuzz-" + name + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return std::filesystem::path(pattern);
}
