// An error the photo services report: its domain, code and a sentence for people.
#pragma once

#include <string>

namespace photos {

struct Error {
    std::string domain;
    int code = 0;
    std::string localizedDescription;

    bool operator==(const Error&) const = default;
};

// Codes of the photo library's own domain.
namespace ErrorCode {
inline constexpr int accessRestricted = 3310;
inline constexpr int accessUserDenied = 3311;
inline constexpr int networkAccessRequired = 3164;
inline constexpr int networkError = 3169;
inline constexpr int invalidResource = 3302;
}  // namespace ErrorCode

inline constexpr const char* photosErrorDomain = "PHPhotosErrorDomain";
inline constexpr const char* cocoaErrorDomain = "NSCocoaErrorDomain";

}  // namespace photos
