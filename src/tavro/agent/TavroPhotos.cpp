#include "tavro/agent/TavroPhotos.h"

#include <system_error>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/Uuid.h"
#include "platform/photos/AssetResource.h"
#include "platform/photos/ImagePickerController.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/photos/PickerViewController.h"
#include "platform/runtime/Continuation.h"
#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

// A file name safe to put inside the export directory: only the last path component, never
// empty, "." or "..". A library name is not trusted to stay inside the directory.
std::string safeFileName(const std::string& name) {
    std::string out;
    for (char c : name) out += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
    if (out.empty() || out == "." || out == "..") return "photo";
    return out;
}

bool allowed(photos::AuthorizationStatus s) {
    return s == photos::AuthorizationStatus::authorized || s == photos::AuthorizationStatus::limited;
}

rt::Task<photos::AuthorizationStatus> requestAccess() {
    rt::Continuation<photos::AuthorizationStatus> answer;
    photos::PhotoLibrary::requestAuthorization(photos::AccessLevel::readWrite,
                                               [answer](photos::AuthorizationStatus s) { answer.resume(s); });
    co_return co_await answer;
}

rt::Task<void> dismissed(std::shared_ptr<ui::ViewController> picker) {
    rt::Continuation<bool> done;
    picker->dismiss(true, [done] { done.resume(true); });
    co_await done;
}

}  // namespace

bool TavroPhotos::wanted(std::string_view goal) {
    static constexpr std::string_view pattern =
        "\\b(photos?|pictures?|pics?|images?|selfies?|gallery|camera roll)\\b|写真|画像";
    return TavroText::groups(pattern, TavroText::lower(goal)).has_value();
}

std::shared_ptr<ui::ViewController> TavroPhotos::systemPicker(const std::shared_ptr<ui::Window>& window) {
    if (!window) return nullptr;
    const auto root = window->rootViewController();
    if (!root) return nullptr;
    for (auto vc = root->presentedViewController(); vc; vc = vc->presentedViewController()) {
        if (std::dynamic_pointer_cast<photos::PickerViewController>(vc) ||
            std::dynamic_pointer_cast<photos::ImagePickerController>(vc)) {
            return vc;
        }
    }
    return nullptr;
}

std::shared_ptr<const photos::Asset> TavroPhotos::latest(std::optional<photos::Predicate> predicate) {
    photos::FetchOptions options;
    options.sortDescriptors = {{"creationDate", false}};
    options.fetchLimit = 1;
    options.predicate = std::move(predicate);
    return photos::Asset::fetchAssets(photos::MediaType::image, options).firstObject();
}

std::optional<TavroPhotos::Best> TavroPhotos::best() {
    if (auto a = latest(photos::Predicate::make("favorite == YES"))) {
        return Best{std::move(a), L("your latest favourite photo", "最新のお気に入り写真")};
    }
    if (auto a = latest(photos::Predicate::make("NOT ((mediaSubtypes & %d) != 0)", {4}))) {
        return Best{std::move(a), L("your latest photo", "最新の写真")};
    }
    if (auto a = latest(std::nullopt)) return Best{std::move(a), L("your latest photo", "最新の写真")};
    return std::nullopt;
}

rt::Task<std::optional<TavroPhotos::Exported>> TavroPhotos::exportAsset(std::shared_ptr<const photos::Asset> asset) {
    if (!asset) co_return std::nullopt;
    const auto resources = photos::AssetResource::assetResources(*asset);
    std::shared_ptr<const photos::AssetResource> resource;
    for (const auto& r : resources) {
        if (r->type() == photos::ResourceType::photo || r->type() == photos::ResourceType::fullSizePhoto) {
            resource = r;
            break;
        }
    }
    if (!resource && !resources.empty()) resource = resources.front();
    if (!resource) co_return std::nullopt;

    const auto directory = fnd::AppDirectories::temporary() / ("tavro-photo-" + fnd::Uuid::random().text());
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    const auto file = directory / safeFileName(resource->originalFilename());

    rt::Continuation<bool> written;
    photos::AssetResourceManager::defaultManager().writeData(
        resource, file, photos::ResourceRequestOptions{true},
        [written](std::optional<photos::Error> error) { written.resume(!error.has_value()); });
    if (!co_await written) co_return std::nullopt;
    co_return Exported{file, resource->originalFilename(),
                       photos::UTType::fromIdentifier(resource->uniformTypeIdentifier())};
}

rt::Task<TavroPhotos::Outcome> TavroPhotos::handle(std::shared_ptr<ui::ViewController> picker) {
    if (!handler || !picker) co_return Outcome::notHandled();

    auto status = photos::PhotoLibrary::authorizationStatus(photos::AccessLevel::readWrite);
    if (status == photos::AuthorizationStatus::notDetermined) status = co_await requestAccess();
    if (!allowed(status)) co_return Outcome::notHandled();

    auto chosen = best();
    if (!chosen) co_return Outcome::notHandled();

    const auto file = co_await exportAsset(chosen->asset);
    if (!file) co_return Outcome::failed(L("I couldn't load that photo.", "写真を読み込めませんでした。"));

    co_await dismissed(picker);

    // The handler is read once: a host replacing it meanwhile does not change this hand-off.
    const Handler use = handler;
    if (!use) co_return Outcome::failed(L("The app didn't accept the photo.", "アプリが写真を受け付けませんでした。"));
    const bool accepted = co_await use(file->file, file->name, file->type);
    if (accepted) co_return Outcome::picked(std::move(chosen->words));
    co_return Outcome::failed(L("The app didn't accept the photo.", "アプリが写真を受け付けませんでした。"));
}

}  // namespace tavro
