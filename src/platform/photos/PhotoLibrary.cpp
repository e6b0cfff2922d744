#include "platform/photos/PhotoLibrary.h"

#include <algorithm>

#include "platform/foundation/MainBundle.h"
#include "platform/foundation/Uuid.h"
#include "platform/runtime/MainActor.h"
#include "platform/ui/Application.h"

namespace photos {

namespace {

std::mutex& sharedMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<PhotoLibrary>& sharedSlot() {
    static std::shared_ptr<PhotoLibrary> library;
    return library;
}

std::string appName() {
    if (auto name = fnd::MainBundle::info("CFBundleDisplayName"); name && !name->empty()) return *name;
    if (auto name = fnd::MainBundle::info("CFBundleName"); name && !name->empty()) return *name;
    return "This app";
}

void later(std::function<void(AuthorizationStatus)> handler, AuthorizationStatus status) {
    if (!handler) return;
    rt::MainActor::shared()->post([handler = std::move(handler), status] { handler(status); });
}

}  // namespace

std::shared_ptr<PhotoLibrary> PhotoLibrary::shared() {
    std::lock_guard lock(sharedMutex());
    auto& slot = sharedSlot();
    if (!slot) slot = std::make_shared<PhotoLibrary>(PassKey{});
    return slot;
}

void PhotoLibrary::resetShared() {
    std::lock_guard lock(sharedMutex());
    sharedSlot() = std::make_shared<PhotoLibrary>(PassKey{});
}

AuthorizationStatus PhotoLibrary::status(AccessLevel level) const {
    std::lock_guard lock(mutex_);
    if (level == AccessLevel::readWrite) return readWrite_;
    // Read-write access includes adding.
    if (readWrite_ == AuthorizationStatus::authorized || readWrite_ == AuthorizationStatus::limited) {
        return AuthorizationStatus::authorized;
    }
    return addOnly_;
}

AuthorizationStatus PhotoLibrary::authorizationStatus(AccessLevel level) { return shared()->status(level); }

void PhotoLibrary::requestAuthorization(AccessLevel level, std::function<void(AuthorizationStatus)> handler) {
    auto library = shared();
    const auto current = library->status(level);
    if (current != AuthorizationStatus::notDetermined) {
        later(std::move(handler), current);
        return;
    }
    library->promptForAccess(level, std::move(handler));
}

void PhotoLibrary::promptForAccess(AccessLevel level, std::function<void(AuthorizationStatus)> handler) {
    ui::Application::SystemPrompt prompt;
    const std::string name = appName();
    std::weak_ptr<PhotoLibrary> weak = weak_from_this();
    if (level == AccessLevel::readWrite) {
        prompt.title = "“" + name + "” Would Like Full Access to Your Photo Library";
        prompt.message = fnd::MainBundle::info("NSPhotoLibraryUsageDescription").value_or("");
        prompt.buttons = {limitAccessButton, allowFullAccessButton, dontAllowButton};
    } else {
        prompt.title = "“" + name + "” Would Like to Add to Your Photos";
        prompt.message = fnd::MainBundle::info("NSPhotoLibraryAddUsageDescription").value_or("");
        prompt.buttons = {dontAllowButton, allowAddButton};
    }
    prompt.onAnswer = [weak, level, handler](const std::string& answer) {
        AuthorizationStatus status = AuthorizationStatus::denied;
        if (answer == allowFullAccessButton || answer == allowAddButton) {
            status = AuthorizationStatus::authorized;
        } else if (answer == limitAccessButton && level == AccessLevel::readWrite) {
            status = AuthorizationStatus::limited;
        }
        if (auto library = weak.lock()) {
            std::lock_guard lock(library->mutex_);
            // An answer given meanwhile (another prompt) stands.
            auto& slot = level == AccessLevel::readWrite ? library->readWrite_ : library->addOnly_;
            if (slot == AuthorizationStatus::notDetermined) slot = status;
            status = slot;
        }
        later(handler, status);
    };
    if (!ui::Application::shared()->showSystemPrompt(std::move(prompt))) {
        // Another system prompt is up: the request cannot be shown now and stays undetermined.
        later(std::move(handler), AuthorizationStatus::notDetermined);
    }
}

std::shared_ptr<const Asset> PhotoLibrary::add(NewAsset fresh) {
    auto asset = std::shared_ptr<Asset>(new Asset());
    asset->localIdentifier_ = fnd::Uuid::random().text() + "/L0/001";
    asset->mediaType_ = fresh.mediaType;
    asset->mediaSubtypes_ = fresh.mediaSubtypes;
    asset->creationDate_ = fresh.creationDate;
    asset->favorite_ = fresh.favorite;
    asset->hidden_ = fresh.hidden;
    asset->pixelWidth_ = fresh.pixelWidth;
    asset->pixelHeight_ = fresh.pixelHeight;
    for (auto& r : fresh.resources) {
        auto resource = std::shared_ptr<AssetResource>(new AssetResource());
        resource->type_ = r.type;
        resource->originalFilename_ = std::move(r.originalFilename);
        resource->uniformTypeIdentifier_ = std::move(r.uniformTypeIdentifier);
        resource->assetLocalIdentifier_ = asset->localIdentifier_;
        resource->data_ = std::move(r.data);
        resource->cloudOnly_ = r.cloudOnly;
        asset->resources_.push_back(std::move(resource));
    }
    std::lock_guard lock(mutex_);
    assets_.push_back(asset);
    return asset;
}

bool PhotoLibrary::remove(const std::string& localIdentifier) {
    std::lock_guard lock(mutex_);
    const auto before = assets_.size();
    std::erase_if(assets_, [&](const auto& a) { return a->localIdentifier() == localIdentifier; });
    return assets_.size() != before;
}

std::vector<std::shared_ptr<const Asset>> PhotoLibrary::allAssets() const {
    std::lock_guard lock(mutex_);
    return assets_;
}

void PhotoLibrary::setAuthorizationStatus(AccessLevel level, AuthorizationStatus status) {
    std::lock_guard lock(mutex_);
    if (level == AccessLevel::readWrite) {
        readWrite_ = status;
    } else {
        // Limited access applies to reading only.
        addOnly_ = status == AuthorizationStatus::limited ? AuthorizationStatus::authorized : status;
    }
}

void PhotoLibrary::setLimitedSelection(std::vector<std::string> localIdentifiers) {
    std::lock_guard lock(mutex_);
    limitedSelection_ = std::move(localIdentifiers);
}

void PhotoLibrary::setNetworkAvailable(bool available) {
    std::lock_guard lock(mutex_);
    networkAvailable_ = available;
}

bool PhotoLibrary::networkAvailable() const {
    std::lock_guard lock(mutex_);
    return networkAvailable_;
}

std::vector<std::shared_ptr<const Asset>> PhotoLibrary::accessibleAssets() const {
    std::lock_guard lock(mutex_);
    if (readWrite_ == AuthorizationStatus::authorized) return assets_;
    if (readWrite_ != AuthorizationStatus::limited) return {};
    std::vector<std::shared_ptr<const Asset>> out;
    for (const auto& a : assets_) {
        if (std::find(limitedSelection_.begin(), limitedSelection_.end(), a->localIdentifier()) !=
            limitedSelection_.end()) {
            out.push_back(a);
        }
    }
    return out;
}

}  // namespace photos
