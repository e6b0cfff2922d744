// A photo or video of the library (one asset): its identifier, media type and subtypes (a
// screenshot, a panorama...), creation date and favourite flag, and the resources (files) it is
// stored as. Assets are found with `fetchAssets`, filtered by a predicate, sorted, and limited in
// number; a fetch sees only what the app's library access lets it see.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/photos/Predicate.h"

namespace photos {

enum class MediaType : int { unknown = 0, image = 1, video = 2, audio = 3 };

// Media subtypes, combined as bits.
namespace MediaSubtype {
inline constexpr std::uint32_t none = 0;
inline constexpr std::uint32_t photoPanorama = 1u << 0;
inline constexpr std::uint32_t photoHDR = 1u << 1;
inline constexpr std::uint32_t photoScreenshot = 1u << 2;
inline constexpr std::uint32_t photoLive = 1u << 3;
inline constexpr std::uint32_t photoDepthEffect = 1u << 4;
}  // namespace MediaSubtype

// Stored timestamps are wall-clock times.
using Date = std::chrono::system_clock::time_point;

class Asset;
class AssetResource;

// The order of a fetch: a key ("creationDate", "pixelWidth", "pixelHeight", "mediaType") and its
// direction. Assets without a creation date come first in ascending order.
struct SortDescriptor {
    std::string key;
    bool ascending = true;
};

struct FetchOptions {
    std::optional<Predicate> predicate;
    std::vector<SortDescriptor> sortDescriptors;
    int fetchLimit = 0;  // 0: no limit
    bool includeHiddenAssets = false;
};

// The assets a fetch found, in order.
class FetchResult {
public:
    FetchResult() = default;
    explicit FetchResult(std::vector<std::shared_ptr<const Asset>> assets) : assets_(std::move(assets)) {}

    std::size_t count() const { return assets_.size(); }
    std::shared_ptr<const Asset> firstObject() const { return assets_.empty() ? nullptr : assets_.front(); }
    std::shared_ptr<const Asset> lastObject() const { return assets_.empty() ? nullptr : assets_.back(); }
    std::shared_ptr<const Asset> objectAtIndex(std::size_t i) const { return i < assets_.size() ? assets_[i] : nullptr; }
    auto begin() const { return assets_.begin(); }
    auto end() const { return assets_.end(); }

private:
    std::vector<std::shared_ptr<const Asset>> assets_;
};

class Asset {
public:
    const std::string& localIdentifier() const { return localIdentifier_; }
    MediaType mediaType() const { return mediaType_; }
    std::uint32_t mediaSubtypes() const { return mediaSubtypes_; }
    const std::optional<Date>& creationDate() const { return creationDate_; }
    bool isFavorite() const { return favorite_; }
    bool isHidden() const { return hidden_; }
    int pixelWidth() const { return pixelWidth_; }
    int pixelHeight() const { return pixelHeight_; }

    // The assets of that media type the app may see, filtered, sorted and limited by the options.
    // A predicate or sort key the assets do not have gives an empty result.
    static FetchResult fetchAssets(MediaType mediaType, const FetchOptions& options = {});

    // The value of a key predicates may test: "favorite", "hidden", "mediaType", "mediaSubtypes",
    // "pixelWidth", "pixelHeight" (Booleans as 0 and 1); nothing for any other key.
    std::optional<std::int64_t> value(std::string_view key) const;

private:
    friend class PhotoLibrary;
    friend class AssetResource;
    Asset() = default;

    std::string localIdentifier_;
    MediaType mediaType_ = MediaType::image;
    std::uint32_t mediaSubtypes_ = 0;
    std::optional<Date> creationDate_;
    bool favorite_ = false;
    bool hidden_ = false;
    int pixelWidth_ = 0;
    int pixelHeight_ = 0;
    std::vector<std::shared_ptr<const AssetResource>> resources_;
};

}  // namespace photos
