// Fetches, verifies and activates the remote pack of one app, and keeps the last good one.
//
// The pack server answers GET <base>/tavro/packs/<appID>.json (then .../default.json) with an
// envelope {"kid": key id, "sig": base64 of a DER ECDSA P-256 signature over the SHA-256 of the
// exact bytes of "pack", "pack": the pack's own JSON text}. A pack is used only after every check
// has passed, never replaces a newer active pack, and the last accepted envelope is cached as
// received in "TavroPack.json" in Application Support; no network or server fault touches it.
// The check time, the ETag and the highest version ever accepted live in the standard user
// defaults; a cached envelope below that version (an old file put back) is refused.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/Task.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/remote/TavroPackSettings.h"

namespace tavro {

class TavroPackLoader : public std::enable_shared_from_this<TavroPackLoader> {
public:
    static constexpr const char* etagKey = "tavro.sdk.pack.etag";
    static constexpr const char* checkedAtKey = "tavro.sdk.pack.checkedAt";
    static constexpr const char* versionKey = "tavro.sdk.pack.version";
    // The largest envelope accepted, from the server or the cache.
    static constexpr std::size_t maxEnvelopeBytes = 1024 * 1024;

    // A loader for one app; `tavroID` yields the install id sent with each request.
    static std::shared_ptr<TavroPackLoader> create(TavroPackSettings settings, std::string appID,
                                                   std::function<std::string()> tavroID);

    // Re-verifies the cached envelope with the current keys and makes its pack the active one. An
    // envelope that no longer verifies (a key removed from the table revokes its packs), is older
    // than a version accepted before, or can never be read as a cache (anything but a regular file
    // of at most maxEnvelopeBytes, read without blocking) is removed together with the ETag, and
    // the status says why. A file that cannot be read for the moment (no permission, too many open
    // files, an I/O error) is left alone with its ETag; the status says so. No file: nothing
    // changes. Never throws.
    void applyCached();

    // Asks the server for a newer pack unless the last check is less than `interval` seconds old
    // (`force` checks anyway), and returns the new status. The ETag is sent only while a pack is
    // active and its envelope is cached. A refresh started while one is running gets that one's
    // result instead of sending a second request, except that a forced refresh never joins a
    // check that found the last one recent: it sends its own. Never throws.
    rt::Task<std::string> refresh(bool force);

    // Drops this loader for good: a running check is cancelled and its answer, when it comes,
    // changes nothing (neither the active pack nor the files of the app that is current by then);
    // later refreshes only return the status. For a loader whose app is no longer served.
    void retire();

    // The last status text; "" until something happened. What applyCached said of the cached
    // pack stays until a check asks the server: a check that finds the last one recent keeps it.
    const std::string& status() const { return status_; }

    // Seconds each request to the pack server may take (30 by default).
    void setRequestTimeout(double seconds) { requestTimeout_ = seconds; }

    // "TavroPack.json" in Application Support.
    static std::filesystem::path cacheURL();
    // <base>/tavro/packs/<name>.json with the name percent-encoded, so that no app id leaves the
    // folder.
    static std::string packURL(std::string_view base, std::string_view name);

    // The pack an envelope carries, after every check in order: size, form, key id, key, signature,
    // the pack itself, and no version below `activeVersion`. Throws TavroPack::Invalid.
    static TavroPack verify(std::string_view envelope, const std::map<std::string, std::string>& keys,
                            std::optional<int> activeVersion);

private:
    struct Key {};

public:
    TavroPackLoader(Key, TavroPackSettings settings, std::string appID, std::function<std::string()> tavroID);

private:
    // Asks the server when `send`; otherwise only reports that the last check was recent.
    static rt::Task<std::string> check(std::shared_ptr<TavroPackLoader> self, bool send);
    // Starts a check unless one is running, and awaits its result.
    static rt::Task<std::string> refreshing(std::shared_ptr<TavroPackLoader> self, bool force);
    bool checkedRecently() const;
    // Keeps an accepted envelope: cache file, ETag, check time, then the active pack.
    std::string accept(const std::string& envelope, const TavroPack& pack, const std::optional<std::string>& etag);

    const TavroPackSettings settings_;
    const std::string appID_;
    const std::function<std::string()> tavroID_;
    std::string status_;
    double requestTimeout_ = 30.0;
    rt::TaskHandle<std::string> running_;
    bool runningSends_ = false;  // whether running_ asks the server
    bool cacheVerdict_ = false;  // status_ tells what became of the cached pack
    bool retired_ = false;
};

}  // namespace tavro
