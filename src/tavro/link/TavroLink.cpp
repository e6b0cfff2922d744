#include "tavro/link/TavroLink.h"

#include <nlohmann/json.hpp>

#include "platform/crypto/Base64.h"
#include "platform/crypto/P256SigningKey.h"
#include "platform/foundation/BoundedJSON.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/foundation/Uuid.h"
#include "platform/security/Keychain.h"
#include "tavro/agent/TavroAgent.h"
#include "tavro/diagnostics/TavroLog.h"
#include "tavro/diagnostics/TavroNetwork.h"
#include "tavro/remote/TavroRemoteFlags.h"

namespace tavro {

namespace {

constexpr std::string_view enabledKey = "tavro.sdk.link.enabled";
constexpr std::string_view autoOnKey = "tavro.sdk.link.autoOn";

// A stored key: base64 text of its bytes, nothing when the value is not that.
std::optional<std::string> keyBytes(const nlohmann::json& value) {
    if (!value.is_string()) return std::nullopt;
    return crypto::base64Decode(value.get_ref<const std::string&>());
}

// Fills a new record: a new install id and two fresh keys. False when the keys could not be made;
// such a record is not saved, so the next launch makes one afresh.
bool fresh(TavroLink::Stored& stored) {
    stored.iid = fnd::Uuid::random().text();
    try {
        stored.signingKey = crypto::P256SigningKey::generate().pkcs8();
        stored.agreementKey = crypto::P256SigningKey::generate().pkcs8();
    } catch (const std::exception&) {
        fnd::Console::write("[TAVRO_LINK] could not make the device keys");
        return false;
    }
    return true;
}

void save(const TavroLink::Stored& stored) {
    if (!security::Keychain::write(TavroLink::keychainService, TavroLink::keychainAccount, stored.encoded())) {
        fnd::Console::write("[TAVRO_LINK] could not save the device record");
    }
}

// The stored record, or a new one (saved) when there is none or it cannot be read; an unreadable
// record is kept aside under its own account first.
TavroLink::Stored loadOrMake() {
    const auto bytes = security::Keychain::read(TavroLink::keychainService, TavroLink::keychainAccount);
    if (bytes) {
        if (auto stored = TavroLink::Stored::decode(*bytes)) return std::move(*stored);
        security::Keychain::write(TavroLink::keychainService, std::string(TavroLink::keychainAccount) + ".unreadable",
                                  *bytes);
        fnd::Console::write("[TAVRO_LINK] the device record could not be read; a new one is made");
    }
    TavroLink::Stored stored;
    if (fresh(stored)) save(stored);
    return stored;
}

}  // namespace

std::string TavroLink::Stored::encoded() const {
    nlohmann::json json = {{"signingKey", crypto::base64Encode(signingKey)}, {"agreementKey", crypto::base64Encode(agreementKey)}, {"iid", iid}};
    if (pairing) json["pairing"] = {{"peer", pairing->peer}, {"peerKey", pairing->peerKey}};
    return json.dump();
}

std::optional<TavroLink::Stored> TavroLink::Stored::decode(std::string_view bytes) {
    const auto json = fnd::parseJSON(bytes);
    if (!json.is_object()) return std::nullopt;
    Stored stored;
    const auto signing = json.contains("signingKey") ? keyBytes(json["signingKey"]) : std::nullopt;
    const auto agreement = json.contains("agreementKey") ? keyBytes(json["agreementKey"]) : std::nullopt;
    if (!signing || !agreement || !crypto::P256SigningKey::fromPKCS8(*signing) ||
        !crypto::P256SigningKey::fromPKCS8(*agreement)) {
        return std::nullopt;
    }
    const auto iid = json.find("iid");
    if (iid == json.end() || !iid->is_string() || !fnd::Uuid::parse(iid->get_ref<const std::string&>())) {
        return std::nullopt;
    }
    stored.signingKey = *signing;
    stored.agreementKey = *agreement;
    stored.iid = iid->get<std::string>();
    if (const auto pairing = json.find("pairing"); pairing != json.end() && !pairing->is_null()) {
        if (!pairing->is_object() || !pairing->contains("peer") || !(*pairing)["peer"].is_string() ||
            !pairing->contains("peerKey") || !(*pairing)["peerKey"].is_string()) {
            return std::nullopt;
        }
        stored.pairing = Pairing{(*pairing)["peer"].get<std::string>(), (*pairing)["peerKey"].get<std::string>()};
    }
    return stored;
}

std::shared_ptr<TavroLink> TavroLink::create(std::shared_ptr<TavroAgent> agent, std::shared_ptr<UIKitSurface> surface) {
    return std::make_shared<TavroLink>(Key{}, std::move(agent), std::move(surface));
}

TavroLink::TavroLink(Key, std::shared_ptr<TavroAgent> agent, std::shared_ptr<UIKitSurface> surface)
    : agent_(std::move(agent)),
      surface_(std::move(surface)),
      stored_(loadOrMake()),
      enabled_(fnd::UserDefaults::standard()->boolean(enabledKey).value_or(false)) {}

TavroLink::~TavroLink() {
    if (loop_) loop_->cancel();
}

bool TavroLink::hasQAToken() {
    if (const auto token = fnd::ProcessInfo::environment("TAVRO_QA_TOKEN"); token && !token->empty()) return true;
    const auto arguments = fnd::ProcessInfo::arguments();
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-TavroQAToken" && !arguments[i + 1].empty()) return true;
    }
    return false;
}

bool TavroLink::allowed() const {
    // Allowed while the remote flags do not hide the library for the agent's models.
    return agent_ && !TavroRemoteFlags::isHidden(agent_->configuration.models);
}

void TavroLink::start() {
    if (!settings || !allowed()) {
        stop();
        TavroLog::setRecording(false);
        TavroNetwork::setRecording(false);
        return;
    }
    TavroLog::setRecording(true);
    TavroNetwork::setRecording(true);
    const auto defaults = fnd::UserDefaults::standard();
    if (hasQAToken() && !defaults->contains(autoOnKey)) {
        defaults->setBoolean(autoOnKey, true);
        enabled_.set(true);
        defaults->setBoolean(enabledKey, true);
    }
    if (enabled_.value() && !loop_) {
        state_ = State::running;
        auto task = loop(weak_from_this());
        loop_ = rt::spawn(std::move(task));
    }
}

void TavroLink::stop() {
    if (loop_) loop_->cancel();
    loop_.reset();
    state_ = State::off;
}

rt::Task<void> TavroLink::loop(std::weak_ptr<TavroLink> weak) {
    // There is no relay to pair with or poll in this build: say so once and end.
    fnd::Console::write("[TAVRO_LINK] no relay in this build");
    if (auto self = weak.lock()) {
        self->state_ = State::off;
        self->loop_.reset();
    }
    co_return;
}

}  // namespace tavro
