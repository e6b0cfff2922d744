#include "platform/photos/Asset.h"

#include <algorithm>

#include "platform/photos/PhotoLibrary.h"

namespace photos {

namespace {

bool knownSortKey(const std::string& key) {
    return key == "creationDate" || key == "pixelWidth" || key == "pixelHeight" || key == "mediaType";
}

// Orders two assets by one key: negative, zero or positive.
int compareBy(const Asset& a, const Asset& b, const std::string& key) {
    if (key == "creationDate") {
        const auto& da = a.creationDate();
        const auto& db = b.creationDate();
        if (!da || !db) return (da ? 1 : 0) - (db ? 1 : 0);
        return *da < *db ? -1 : (*db < *da ? 1 : 0);
    }
    const auto va = a.value(key).value_or(0);
    const auto vb = b.value(key).value_or(0);
    return va < vb ? -1 : (vb < va ? 1 : 0);
}

}  // namespace

std::optional<std::int64_t> Asset::value(std::string_view key) const {
    if (key == "favorite") return favorite_ ? 1 : 0;
    if (key == "hidden") return hidden_ ? 1 : 0;
    if (key == "mediaType") return static_cast<std::int64_t>(mediaType_);
    if (key == "mediaSubtypes") return static_cast<std::int64_t>(mediaSubtypes_);
    if (key == "pixelWidth") return pixelWidth_;
    if (key == "pixelHeight") return pixelHeight_;
    return std::nullopt;
}

FetchResult Asset::fetchAssets(MediaType mediaType, const FetchOptions& options) {
    for (const auto& d : options.sortDescriptors) {
        if (!knownSortKey(d.key)) return {};
    }
    if (options.predicate) {
        static const Asset probe;
        for (const auto& key : options.predicate->keys()) {
            if (!probe.value(key)) return {};
        }
    }
    std::vector<std::shared_ptr<const Asset>> found;
    for (auto& asset : PhotoLibrary::shared()->accessibleAssets()) {
        if (asset->mediaType_ != mediaType) continue;
        if (asset->hidden_ && !options.includeHiddenAssets) continue;
        if (options.predicate &&
            !options.predicate->evaluate([&asset](std::string_view key) { return asset->value(key); })) {
            continue;
        }
        found.push_back(std::move(asset));
    }
    if (!options.sortDescriptors.empty()) {
        std::stable_sort(found.begin(), found.end(), [&options](const auto& a, const auto& b) {
            for (const auto& d : options.sortDescriptors) {
                const int c = compareBy(*a, *b, d.key);
                if (c != 0) return d.ascending ? c < 0 : c > 0;
            }
            return false;
        });
    }
    if (options.fetchLimit > 0 && found.size() > static_cast<std::size_t>(options.fetchLimit)) {
        found.resize(static_cast<std::size_t>(options.fetchLimit));
    }
    return FetchResult(std::move(found));
}

}  // namespace photos
