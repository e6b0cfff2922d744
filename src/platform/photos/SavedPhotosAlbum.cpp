#include "platform/photos/SavedPhotosAlbum.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "platform/photos/PhotoLibrary.h"
#include "platform/runtime/MainActor.h"

namespace photos {

namespace {

std::string nextFilename() {
    static std::atomic<unsigned> counter{0};
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04u.PNG", (++counter % 10000));
    return name;
}

void tell(const std::shared_ptr<ImageSaveTarget>& target, const ui::Image& image, std::optional<Error> error) {
    if (!target) return;
    rt::MainActor::shared()->post(
        [target, image, error = std::move(error)] { target->finishedSaving(image, error); });
}

void save(const ui::Image& image, const std::shared_ptr<ImageSaveTarget>& target, AuthorizationStatus status) {
    if (status == AuthorizationStatus::authorized || status == AuthorizationStatus::limited) {
        if (image.isEmpty()) {
            tell(target, image, Error{photosErrorDomain, ErrorCode::invalidResource, "The image is empty."});
            return;
        }
        NewAsset asset;
        asset.mediaType = MediaType::image;
        asset.creationDate = std::chrono::system_clock::now();
        asset.pixelWidth = image.width;
        asset.pixelHeight = image.height;
        asset.resources.push_back({ResourceType::photo, nextFilename(), "public.png", image.pngData(), false});
        PhotoLibrary::shared()->add(std::move(asset));
        tell(target, image, std::nullopt);
        return;
    }
    if (status == AuthorizationStatus::restricted) {
        tell(target, image,
             Error{photosErrorDomain, ErrorCode::accessRestricted, "Access to the photo library is restricted."});
        return;
    }
    if (status == AuthorizationStatus::notDetermined) {
        tell(target, image,
             Error{photosErrorDomain, ErrorCode::accessUserDenied, "Access to the photo library has not been granted."});
        return;
    }
    tell(target, image,
         Error{photosErrorDomain, ErrorCode::accessUserDenied, "The user denied access to the photo library."});
}

}  // namespace

void imageWriteToSavedPhotosAlbum(ui::Image image, std::shared_ptr<ImageSaveTarget> target) {
    const auto status = PhotoLibrary::authorizationStatus(AccessLevel::addOnly);
    if (status != AuthorizationStatus::notDetermined) {
        save(image, target, status);
        return;
    }
    PhotoLibrary::requestAuthorization(AccessLevel::addOnly, [image = std::move(image), target](AuthorizationStatus s) {
        save(image, target, s);
    });
}

}  // namespace photos
