#include "platform/photos/AssetResource.h"

#include <fstream>
#include <system_error>

#include "platform/photos/Asset.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/runtime/MainActor.h"

namespace photos {

std::vector<std::shared_ptr<const AssetResource>> AssetResource::assetResources(const Asset& asset) {
    return asset.resources_;
}

std::optional<std::vector<std::uint8_t>> resourceData(const AssetResource& resource) { return resource.data_; }

AssetResourceManager& AssetResourceManager::defaultManager() {
    static AssetResourceManager manager;
    return manager;
}

namespace {

std::optional<Error> write(const AssetResource& resource, const std::optional<std::vector<std::uint8_t>>& data,
                           bool cloudOnly, const std::filesystem::path& file, const ResourceRequestOptions& options) {
    if (cloudOnly && !options.networkAccessAllowed) {
        return Error{photosErrorDomain, ErrorCode::networkAccessRequired,
                     "The photo is stored in iCloud and network access is not allowed."};
    }
    if (cloudOnly && !PhotoLibrary::shared()->networkAvailable()) {
        return Error{photosErrorDomain, ErrorCode::networkError, "The photo could not be downloaded from iCloud."};
    }
    if (!data) {
        return Error{photosErrorDomain, ErrorCode::invalidResource,
                     "The resource “" + resource.originalFilename() + "” is not available."};
    }
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        return Error{cocoaErrorDomain, 516,
                     "The file “" + file.filename().string() + "” couldn’t be saved because a file with the same name already exists."};
    }
    if (!std::filesystem::is_directory(file.parent_path(), ec)) {
        return Error{cocoaErrorDomain, 4, "The folder “" + file.parent_path().filename().string() + "” doesn’t exist."};
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(data->data()), static_cast<std::streamsize>(data->size()));
    out.close();
    if (!out) {
        std::filesystem::remove(file, ec);
        return Error{cocoaErrorDomain, 512, "The file “" + file.filename().string() + "” couldn’t be saved."};
    }
    return std::nullopt;
}

}  // namespace

void AssetResourceManager::writeData(const std::shared_ptr<const AssetResource>& resource,
                                     const std::filesystem::path& file, const ResourceRequestOptions& options,
                                     std::function<void(std::optional<Error>)> completion) {
    std::optional<Error> error;
    if (!resource) {
        error = Error{photosErrorDomain, ErrorCode::invalidResource, "No resource was given."};
    } else {
        error = write(*resource, resource->data_, resource->cloudOnly_, file, options);
    }
    rt::MainActor::shared()->post([completion = std::move(completion), error = std::move(error)]() mutable {
        if (completion) completion(std::move(error));
    });
}

}  // namespace photos
