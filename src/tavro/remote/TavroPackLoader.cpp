#include "tavro/remote/TavroPackLoader.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/crypto/Base64.h"
#include "platform/crypto/P256PublicKey.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/BoundedJSON.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/HttpClient.h"

namespace tavro {

namespace {

using Reason = TavroPack::Invalid::Reason;

std::string percentEncoded(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                                c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

const std::string* textMember(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return nullptr;
    return it->get_ptr<const std::string*>();
}

// Removes whatever is at the cache path (a directory or a link planted there included; a link
// goes, not what it names) and the ETag that named it, so that the next check downloads.
void forgetCache() {
    std::error_code ignored;
    std::filesystem::remove_all(TavroPackLoader::cacheURL(), ignored);
    fnd::UserDefaults::standard()->remove(TavroPackLoader::etagKey);
}

TavroPack::Invalid tooLarge() { return TavroPack::Invalid(Reason::tooLarge, "the envelope is larger than 1 MiB"); }

std::optional<int> activeVersion() {
    const auto active = TavroPacks::current();
    if (!active) return std::nullopt;
    return active->version;
}

// The lowest version a cached envelope may hold: the active one, and any accepted before.
std::optional<int> lowestVersion() {
    auto lowest = activeVersion();
    const auto accepted = fnd::UserDefaults::standard()->integer(TavroPackLoader::versionKey);
    if (accepted && *accepted >= std::numeric_limits<int>::min() && *accepted <= std::numeric_limits<int>::max()) {
        lowest = std::max(lowest.value_or(std::numeric_limits<int>::min()), static_cast<int>(*accepted));
    }
    return lowest;
}

}  // namespace

TavroPackLoader::TavroPackLoader(Key, TavroPackSettings settings, std::string appID, std::function<std::string()> tavroID)
    : settings_(std::move(settings)), appID_(std::move(appID)), tavroID_(std::move(tavroID)) {}

std::shared_ptr<TavroPackLoader> TavroPackLoader::create(TavroPackSettings settings, std::string appID,
                                                         std::function<std::string()> tavroID) {
    return std::make_shared<TavroPackLoader>(Key{}, std::move(settings), std::move(appID), std::move(tavroID));
}

std::filesystem::path TavroPackLoader::cacheURL() { return fnd::AppDirectories::applicationSupport() / "TavroPack.json"; }

std::string TavroPackLoader::packURL(std::string_view base, std::string_view name) {
    while (!base.empty() && base.back() == '/') base.remove_suffix(1);
    return std::string(base) + "/tavro/packs/" + percentEncoded(name) + ".json";
}

TavroPack TavroPackLoader::verify(std::string_view envelope, const std::map<std::string, std::string>& keys,
                                  std::optional<int> activeVersion) {
    if (envelope.size() > maxEnvelopeBytes) throw tooLarge();
    const auto json = fnd::parseJSON(envelope);
    const std::string* kid = json.is_object() ? textMember(json, "kid") : nullptr;
    const std::string* sig = json.is_object() ? textMember(json, "sig") : nullptr;
    const std::string* text = json.is_object() ? textMember(json, "pack") : nullptr;
    if (!kid || !sig || !text) {
        throw TavroPack::Invalid(Reason::malformed, "the envelope is not a JSON object with the texts kid, sig and pack");
    }
    const auto key = keys.find(*kid);
    if (key == keys.end()) throw TavroPack::Invalid(Reason::unknownKey, "the envelope's key id is not a known signing key");
    const auto publicKey = crypto::P256PublicKey::fromPEM(key->second);
    if (!publicKey) throw TavroPack::Invalid(Reason::badKey, "the signing key for this key id is not a P-256 public key");
    const auto signature = crypto::base64Decode(*sig);
    if (!signature) throw TavroPack::Invalid(Reason::badSignature, "the signature is not valid base64");
    if (!publicKey->verify(*text, *signature)) throw TavroPack::Invalid(Reason::badSignature, "the signature does not verify");
    auto pack = TavroPack::parse(*text);
    if (!pack) throw TavroPack::Invalid(Reason::badPack, "the signed pack is not a valid pack");
    if (activeVersion && pack->version < *activeVersion) {
        throw TavroPack::Invalid(Reason::rollback, "version " + std::to_string(pack->version) + " is older than the active version " +
                                                       std::to_string(*activeVersion));
    }
    return std::move(*pack);
}

void TavroPackLoader::applyCached() {
    try {
        const auto cache = fnd::readFileBytes(cacheURL(), maxEnvelopeBytes);
        if (cache.access == fnd::FileBytes::Access::missing) return;
        if (cache.access == fnd::FileBytes::Access::unavailable) {
            // Not readable for the moment (no permission, too many open files, an I/O error): the
            // envelope may be good, so it stays with its ETag for the next attempt.
            status_ = "Cached pack not applied: the cached envelope cannot be read now (" + cache.error + ")";
            cacheVerdict_ = true;
            return;
        }
        if (cache.access != fnd::FileBytes::Access::read) {
            forgetCache();
            status_ = "Cached pack refused: the cached envelope cannot be read (" + cache.error + ")";
            cacheVerdict_ = true;
            return;
        }
        TavroPacks::setCurrent(verify(cache.text, settings_.keys, lowestVersion()));
    } catch (const TavroPack::Invalid& invalid) {
        forgetCache();
        status_ = std::string("Cached pack refused: ") + invalid.what();
        cacheVerdict_ = true;
    } catch (const std::exception& error) {
        status_ = std::string("Cached pack refused: ") + error.what();
        cacheVerdict_ = true;
    } catch (...) {
        status_ = "Cached pack refused";
        cacheVerdict_ = true;
    }
}

void TavroPackLoader::retire() {
    retired_ = true;
    if (running_) running_.cancel();
}

bool TavroPackLoader::checkedRecently() const {
    const auto checkedAt = fnd::UserDefaults::standard()->date(checkedAtKey);
    if (!checkedAt) return false;
    const std::chrono::duration<double> since = std::chrono::system_clock::now() - *checkedAt;
    // A check time in the future (the device clock was set back) does not count as recent: it
    // would otherwise hold off every check until the clock caught up.
    return since.count() >= 0 && since.count() < settings_.interval;
}

std::string TavroPackLoader::accept(const std::string& envelope, const TavroPack& pack, const std::optional<std::string>& etag) {
    auto defaults = fnd::UserDefaults::standard();
    // The ETag names the cached envelope: without a cache that holds this envelope it would make
    // the server answer "not modified" for a pack the next launch does not have.
    if (fnd::writeAtomically(cacheURL(), envelope) && etag) {
        defaults->setString(etagKey, *etag);
    } else {
        defaults->remove(etagKey);
    }
    const auto accepted = defaults->integer(versionKey);
    if (!accepted || *accepted < pack.version) defaults->setInteger(versionKey, pack.version);
    defaults->setDate(checkedAtKey, std::chrono::system_clock::now());
    TavroPacks::setCurrent(pack);
    return "Pack " + std::to_string(pack.version) + " active";
}

rt::Task<std::string> TavroPackLoader::refresh(bool force) { return refreshing(shared_from_this(), force); }

rt::Task<std::string> TavroPackLoader::refreshing(std::shared_ptr<TavroPackLoader> self, bool force) {
    if (self->retired_) co_return self->status_;
    const bool idle = !self->running_ || self->running_.isDone();
    // The host's "check now" must reach the server: it joins only a check that sends a request.
    if (idle || (force && !self->runningSends_)) {
        const bool send = force || !self->checkedRecently();
        self->runningSends_ = send;
        self->running_ = rt::spawn(check(self, send));
    }
    const auto running = self->running_;
    try {
        co_await running.join();
    } catch (const std::exception& error) {
        // Nothing was kept from a check that failed this way; the next one starts afresh.
        self->status_ = std::string("Pack check failed: ") + error.what();
    }
    co_return running.result().value_or(self->status_);
}

rt::Task<std::string> TavroPackLoader::check(std::shared_ptr<TavroPackLoader> self, bool send) {
    auto& status = self->status_;
    if (!send) {
        // What became of the cached pack stays readable until a check of the server says more.
        if (!self->cacheVerdict_) status = "Checked recently";
        co_return status;
    }
    self->cacheVerdict_ = false;  // this check's own outcome replaces it
    const std::string appURL = packURL(self->settings_.base, self->appID_);
    if (!net::HttpClient::permits(appURL)) {
        status = "Pack check failed: the pack server address is not HTTPS";
        co_return status;
    }

    std::string install;
    try {
        if (self->tavroID_) install = self->tavroID_();
    } catch (...) {
        // An install id the host cannot give is sent empty.
    }
    // The install id is for the pack server alone: a redirect to another host does not carry it.
    net::Request request{.url = appURL,
                         .headers = {{"Accept", "application/json"}, {"X-Tavro-Install", install}},
                         .hostOnlyHeaders = {"X-Tavro-Install"},
                         .timeout = self->requestTimeout_,
                         .limit = maxEnvelopeBytes};
    std::error_code error;
    const auto etag = fnd::UserDefaults::standard()->string(etagKey);
    const bool cached = std::filesystem::symlink_status(cacheURL(), error).type() == std::filesystem::file_type::regular;
    // "Not modified" is worth hearing only while a pack is active: a cache kept because it could
    // not be read for the moment must not keep the server from sending the pack again.
    if (etag && cached && TavroPacks::current()) request.headers.emplace_back("If-None-Match", *etag);

    auto response = co_await net::HttpClient::send(request);
    if (self->retired_) co_return status;
    if (response.ok() && response.status == 404) {
        request.url = packURL(self->settings_.base, "default");
        response = co_await net::HttpClient::send(request);
        if (self->retired_) co_return status;
    }

    if (response.truncated) {
        status = std::string("Pack refused: ") + tooLarge().what();
    } else if (!response.ok()) {
        status = "Pack check failed: " + response.error;
    } else if (response.status == 304) {
        fnd::UserDefaults::standard()->setDate(checkedAtKey, std::chrono::system_clock::now());
        status = "No change";
    } else if (response.status == 404) {
        fnd::UserDefaults::standard()->setDate(checkedAtKey, std::chrono::system_clock::now());
        status = "No pack for this app";
    } else if (response.status == 200) {
        try {
            const auto pack = verify(response.body, self->settings_.keys, activeVersion());
            status = self->accept(response.body, pack, response.header("ETag"));
        } catch (const TavroPack::Invalid& invalid) {
            status = std::string("Pack refused: ") + invalid.what();
        }
    } else {
        status = "Pack check failed: HTTP " + std::to_string(response.status);
    }
    co_return status;
}

}  // namespace tavro
