// The photo library of the device: the assets it holds, the app's access to it (read-write or
// add-only) and the request for that access. Access starts undetermined; asking for it shows the
// system's permission prompt over the app (the app turns inactive meanwhile), and the person's
// answer becomes the status: full access, limited access (the app sees only the photos the person
// selected) or denied. Statuses already determined are answered without a prompt.
//
// The contents are set up by the host or a test the way a person's camera roll would be: assets
// with dates, favourites and screenshots, each with its resources. One shared library per process;
// tests replace it with a fresh one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/photos/Asset.h"
#include "platform/photos/AssetResource.h"

namespace photos {

enum class AuthorizationStatus : int { notDetermined = 0, restricted = 1, denied = 2, authorized = 3, limited = 4 };
enum class AccessLevel : int { addOnly = 1, readWrite = 2 };

// A resource of an asset being added to the library.
struct NewResource {
    ResourceType type = ResourceType::photo;
    std::string originalFilename;
    std::string uniformTypeIdentifier;
    std::optional<std::vector<std::uint8_t>> data = std::vector<std::uint8_t>();  // nothing: unavailable
    bool cloudOnly = false;  // kept only in cloud storage: writing it needs the network
};

// An asset being added to the library.
struct NewAsset {
    MediaType mediaType = MediaType::image;
    std::uint32_t mediaSubtypes = MediaSubtype::none;
    std::optional<Date> creationDate;
    bool favorite = false;
    bool hidden = false;
    int pixelWidth = 0;
    int pixelHeight = 0;
    std::vector<NewResource> resources;
};

class PhotoLibrary : public std::enable_shared_from_this<PhotoLibrary> {
public:
    static std::shared_ptr<PhotoLibrary> shared();
    // Replaces the shared library with a fresh, empty one whose access is undetermined (tests).
    static void resetShared();

    // Only shared() and resetShared() make a library: its prompts hold it weakly.
    class PassKey {
        friend class PhotoLibrary;
        PassKey() = default;
    };
    explicit PhotoLibrary(PassKey) {}
    PhotoLibrary(const PhotoLibrary&) = delete;
    PhotoLibrary& operator=(const PhotoLibrary&) = delete;

    // ---- access, as an app sees it ----
    static AuthorizationStatus authorizationStatus(AccessLevel level);
    // Asks for access. Undetermined: shows the permission prompt and, once the person answers, calls
    // the handler with the new status. Determined: calls the handler with the status. The handler
    // runs later on the main actor, never inside this call.
    static void requestAuthorization(AccessLevel level, std::function<void(AuthorizationStatus)> handler);

    // The buttons of the permission prompts, as a person taps them.
    static constexpr const char* allowFullAccessButton = "Allow Full Access";
    static constexpr const char* limitAccessButton = "Limit Access…";
    static constexpr const char* allowAddButton = "Allow";
    static constexpr const char* dontAllowButton = "Don't Allow";

    // ---- set-up by the host or a test ----
    // Adds the asset; its identifier is new. The asset's resources belong to it.
    std::shared_ptr<const Asset> add(NewAsset asset);
    bool remove(const std::string& localIdentifier);
    // Every asset, whatever the app's access, in the order they were added.
    std::vector<std::shared_ptr<const Asset>> allAssets() const;
    // The status as if the person had answered an earlier prompt (or a restriction applies).
    void setAuthorizationStatus(AccessLevel level, AuthorizationStatus status);
    // The photos the person selected for limited access.
    void setLimitedSelection(std::vector<std::string> localIdentifiers);
    // Whether resources kept only in cloud storage can be downloaded.
    void setNetworkAvailable(bool available);
    bool networkAvailable() const;

    // The assets a fetch may see under the current read-write access, in the order they were added.
    std::vector<std::shared_ptr<const Asset>> accessibleAssets() const;
    AuthorizationStatus status(AccessLevel level) const;

private:
    void promptForAccess(AccessLevel level, std::function<void(AuthorizationStatus)> handler);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<const Asset>> assets_;
    std::vector<std::string> limitedSelection_;
    AuthorizationStatus readWrite_ = AuthorizationStatus::notDetermined;
    AuthorizationStatus addOnly_ = AuthorizationStatus::notDetermined;
    bool networkAvailable_ = true;
};

}  // namespace photos
