// The remote link's local part: the device's stored record (two P-256 keys, the install id and the
// pairing, kept in the keychain), its settings from the host's configuration, whether the user
// has it enabled, and starting and stopping it. Starting switches the QA recorders on while the
// link is allowed. This build has no relay: the link's loop says so once and ends.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Published.h"
#include "platform/runtime/Task.h"
#include "tavro/agent/TavroLinkSettings.h"

namespace tavro {

class TavroAgent;
class UIKitSurface;

class TavroLink : public std::enable_shared_from_this<TavroLink> {
public:
    enum class State { off, running };

    // The tester's account this device is paired with.
    struct Pairing {
        std::string peer;     // the account's id at the relay
        std::string peerKey;  // the account's public key, as the relay gave it

        bool operator==(const Pairing&) const = default;
    };

    // What the link keeps in the keychain.
    struct Stored {
        std::string signingKey;    // PKCS#8 DER of a P-256 private key
        std::string agreementKey;  // PKCS#8 DER of a P-256 private key
        std::string iid;           // the install id, created once per install
        std::optional<Pairing> pairing;

        bool operator==(const Stored&) const = default;

        std::string encoded() const;
        // Nothing unless the bytes hold both keys as P-256 keys and an install id.
        static std::optional<Stored> decode(std::string_view bytes);
    };

    static constexpr std::string_view keychainService = "com.nemtora.tavro.link";
    static constexpr std::string_view keychainAccount = "stored";

    // Loads the stored record from the keychain or makes and saves a new one; not started.
    static std::shared_ptr<TavroLink> create(std::shared_ptr<TavroAgent> agent, std::shared_ptr<UIKitSurface> surface);
    ~TavroLink();
    TavroLink(const TavroLink&) = delete;
    TavroLink& operator=(const TavroLink&) = delete;

    // The link's part of the configuration; the facade sets it before start() or stop().
    std::optional<TavroLinkSettings> settings;

    // Whether the user wants the link on (user defaults "tavro.sdk.link.enabled", false when absent).
    const fnd::Published<bool>& enabled() const { return enabled_; }
    State state() const { return state_; }
    const Stored& stored() const { return stored_; }

    // With settings and allowed: switches the QA recorders on, turns the link on once for a QA
    // build, and starts the loop when enabled and none runs. Otherwise stops and switches them off.
    void start();
    // Cancels the loop; state off.
    void stop();

    // Whether a QA token was given: the environment variable "TAVRO_QA_TOKEN" or the launch
    // argument "-TavroQAToken" followed by a token.
    static bool hasQAToken();

private:
    struct Key {};

public:
    TavroLink(Key, std::shared_ptr<TavroAgent> agent, std::shared_ptr<UIKitSurface> surface);

private:
    bool allowed() const;
    static rt::Task<void> loop(std::weak_ptr<TavroLink> weak);

    std::shared_ptr<TavroAgent> agent_;
    std::shared_ptr<UIKitSurface> surface_;
    Stored stored_;
    fnd::Published<bool> enabled_;
    State state_ = State::off;
    std::optional<rt::TaskHandle<void>> loop_;
};

}  // namespace tavro
