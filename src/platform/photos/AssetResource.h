// The files an asset is stored as (the photo itself, a full-size edit, a paired video...), and the
// manager that writes a resource's data to a file. A resource kept only in cloud storage needs
// network access to be written; without it, or without a network, the write fails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/photos/Error.h"

namespace photos {

class Asset;

enum class ResourceType : int {
    photo = 1,
    video = 2,
    audio = 3,
    alternatePhoto = 4,
    fullSizePhoto = 5,
    fullSizeVideo = 6,
    adjustmentData = 7,
    adjustmentBasePhoto = 8,
    pairedVideo = 9,
};

class AssetResource {
public:
    // The asset's resources in the library's order; empty for an asset without any.
    static std::vector<std::shared_ptr<const AssetResource>> assetResources(const Asset& asset);

    ResourceType type() const { return type_; }
    const std::string& originalFilename() const { return originalFilename_; }
    const std::string& uniformTypeIdentifier() const { return uniformTypeIdentifier_; }
    const std::string& assetLocalIdentifier() const { return assetLocalIdentifier_; }

private:
    friend class PhotoLibrary;
    friend class AssetResourceManager;
    friend std::optional<std::vector<std::uint8_t>> resourceData(const AssetResource& resource);
    AssetResource() = default;

    ResourceType type_ = ResourceType::photo;
    std::string originalFilename_;
    std::string uniformTypeIdentifier_;
    std::string assetLocalIdentifier_;
    std::optional<std::vector<std::uint8_t>> data_;  // nothing: the data cannot be loaded
    bool cloudOnly_ = false;
};

// The resource's bytes as the library stores them, cloud copies included; nothing when they cannot
// be loaded. For the system's own components (the pickers); apps write a resource out through the
// resource manager.
std::optional<std::vector<std::uint8_t>> resourceData(const AssetResource& resource);

struct ResourceRequestOptions {
    bool networkAccessAllowed = false;
};

class AssetResourceManager {
public:
    static AssetResourceManager& defaultManager();

    // Writes the resource's data to a new file. The completion runs once, later, on the main actor:
    // nothing on success, else the error (the file exists already or cannot be created, the data is
    // not available, or network access is needed and not allowed or not possible).
    void writeData(const std::shared_ptr<const AssetResource>& resource, const std::filesystem::path& file,
                   const ResourceRequestOptions& options, std::function<void(std::optional<Error>)> completion);

private:
    AssetResourceManager() = default;
};

}  // namespace photos
