// Verifying a signed pack envelope that carries a 64 KB pack (notes, verbs, rewrites and an app
// map): the whole verification, the signature check alone (key loading, base64, SHA-256 of the
// pack and ECDSA), and parsing the pack alone. The difference between the first two is what the
// envelope adds beyond the signature.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/crypto/Base64.h"
#include "platform/crypto/P256PublicKey.h"
#include "platform/crypto/P256SigningKey.h"
#include "tavro/remote/TavroPackLoader.h"

using namespace tavro;

namespace {

std::string packOf64KB() {
    nlohmann::json pack = {{"version", 12}, {"maxSteps", 25}, {"localModel", "qwen"}, {"approve", "\\b(pay|delete)\\b"}};
    for (int i = 0; i < 20; ++i) {
        pack["rewrites"].push_back({{"pattern", "^shortcut" + std::to_string(i) + " (\\w+)$"}, {"template", "open $1 and go on"}});
    }
    for (int i = 0; i < 200; ++i) pack["verbs"]["verb" + std::to_string(i)] = "tap";
    nlohmann::json screens = nlohmann::json::object();
    for (int i = 0; i < 40; ++i) {
        const std::string name = "screen" + std::to_string(i);
        screens[name] = {{"location", name}, {"title", "Screen " + std::to_string(i)},
                         {"controls", {{{"label", "Next"}, {"kind", "button"}, {"to", "screen" + std::to_string(i + 1)}}}}};
    }
    pack["map"] = {{"app", "com.example.app"}, {"appVersion", "3.1"}, {"start", "screen0"}, {"screens", screens}};
    while (pack.dump().size() < 64 * 1024) {
        pack["notes"].push_back("The settings screen lists privacy options under the Profile tab, below the account name.");
    }
    return pack.dump();
}

struct Fixture {
    crypto::P256SigningKey signer = crypto::P256SigningKey::generate();
    std::map<std::string, std::string> keys{{"bench", signer.publicKeyPEM()}};
    std::string pack = packOf64KB();
    std::string sig = crypto::base64Encode(signer.sign(pack));
    std::string envelope = nlohmann::json{{"kid", "bench"}, {"sig", sig}, {"pack", pack}}.dump();
};

const Fixture& fixture() {
    static const Fixture instance;
    return instance;
}

void VerifyEnvelope64KB(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(TavroPackLoader::verify(f.envelope, f.keys, 11));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.envelope.size()));
}
BENCHMARK(VerifyEnvelope64KB)->Unit(benchmark::kMicrosecond);

void SignatureCheckAlone64KB(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) {
        const auto key = crypto::P256PublicKey::fromPEM(f.keys.at("bench"));
        benchmark::DoNotOptimize(key->verify(f.pack, *crypto::base64Decode(f.sig)));
    }
}
BENCHMARK(SignatureCheckAlone64KB)->Unit(benchmark::kMicrosecond);

void ParsePackAlone64KB(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(TavroPack::parse(f.pack));
}
BENCHMARK(ParsePackAlone64KB)->Unit(benchmark::kMicrosecond);

}  // namespace
