// Uniform type identifiers: the names the platform gives to kinds of files ("public.jpeg",
// "public.heic"), with their preferred file-name extension and MIME type and what they conform to.
// A type is made from an identifier only when the platform knows that identifier.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace photos {

class UTType {
public:
    // The known type with that identifier (letter case ignored), or nothing.
    static std::optional<UTType> fromIdentifier(std::string_view identifier);
    // The known type whose preferred extension this is ("jpg", "PNG"), or nothing.
    static std::optional<UTType> fromFilenameExtension(std::string_view extension);

    const std::string& identifier() const { return identifier_; }
    const std::string& preferredFilenameExtension() const { return extension_; }
    const std::string& preferredMIMEType() const { return mime_; }
    // Whether the type is this one or one of its kind ("public.jpeg" conforms to "public.image").
    bool conformsTo(const UTType& other) const;
    bool isImage() const;

    bool operator==(const UTType& other) const { return identifier_ == other.identifier_; }

private:
    UTType(std::string identifier, std::string extension, std::string mime, std::string parent)
        : identifier_(std::move(identifier)), extension_(std::move(extension)), mime_(std::move(mime)),
          parent_(std::move(parent)) {}
    std::string identifier_;
    std::string extension_;
    std::string mime_;
    std::string parent_;  // the identifier of the kind it belongs to, empty for the roots
};

}  // namespace photos
