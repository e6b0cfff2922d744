#include "platform/photos/UniformType.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace photos {

namespace {

struct Known {
    const char* identifier;
    const char* extension;
    const char* mime;
    const char* parent;
};

// The types the photo library and the share sheet deal in.
constexpr Known kKnown[] = {
    {"public.data", "", "application/octet-stream", ""},
    {"public.content", "", "", ""},
    {"public.image", "", "", "public.content"},
    {"public.jpeg", "jpeg", "image/jpeg", "public.image"},
    {"public.png", "png", "image/png", "public.image"},
    {"public.heic", "heic", "image/heic", "public.heif-standard"},
    {"public.heif-standard", "heif", "image/heif", "public.image"},
    {"public.heif", "heif", "image/heif", "public.heif-standard"},
    {"com.compuserve.gif", "gif", "image/gif", "public.image"},
    {"public.tiff", "tiff", "image/tiff", "public.image"},
    {"com.microsoft.bmp", "bmp", "image/bmp", "public.image"},
    {"org.webmproject.webp", "webp", "image/webp", "public.image"},
    {"public.camera-raw-image", "", "", "public.image"},
    {"com.adobe.raw-image", "dng", "image/x-adobe-dng", "public.camera-raw-image"},
    {"public.movie", "", "", "public.content"},
    {"com.apple.quicktime-movie", "mov", "video/quicktime", "public.movie"},
    {"public.mpeg-4", "mp4", "video/mp4", "public.movie"},
    {"public.audio", "", "", "public.content"},
    {"com.apple.m4a-audio", "m4a", "audio/mp4", "public.audio"},
    {"public.plain-text", "txt", "text/plain", "public.content"},
};

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

const Known* find(std::string_view identifier) {
    const std::string wanted = lowered(identifier);
    for (const auto& k : kKnown) {
        if (wanted == k.identifier) return &k;
    }
    return nullptr;
}

}  // namespace

std::optional<UTType> UTType::fromIdentifier(std::string_view identifier) {
    const Known* k = find(identifier);
    if (!k) return std::nullopt;
    return UTType(k->identifier, k->extension, k->mime, k->parent);
}

std::optional<UTType> UTType::fromFilenameExtension(std::string_view extension) {
    std::string wanted = lowered(extension);
    if (wanted == "jpg") wanted = "jpeg";
    if (wanted == "tif") wanted = "tiff";
    if (wanted.empty()) return std::nullopt;
    for (const auto& k : kKnown) {
        if (wanted == k.extension) return UTType(k.identifier, k.extension, k.mime, k.parent);
    }
    return std::nullopt;
}

bool UTType::conformsTo(const UTType& other) const {
    std::string current = identifier_;
    for (int depth = 0; depth < 8 && !current.empty(); ++depth) {
        if (current == other.identifier_) return true;
        const Known* k = find(current);
        current = k ? k->parent : "";
    }
    return false;
}

bool UTType::isImage() const { return conformsTo(*fromIdentifier("public.image")); }

}  // namespace photos
