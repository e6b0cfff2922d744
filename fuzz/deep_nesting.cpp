// Nesting far deeper than the 8 KB inputs the other targets get could hold: the input names an
// opening and a closing unit, a middle and a repeat count, and the document built from them (at
// least a thousand units deep, often hundreds of kilobytes) goes to every parser of a file or of
// the network. None may crash; the stores must still take and keep a value afterwards.
//
// Input: two bytes of repeat count, then opening unit, NUL, closing unit, NUL, middle.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "FuzzScratch.h"

#include "platform/foundation/UserDefaults.h"
#include "platform/security/Keychain.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroJSON.h"
#include "tavro/link/TavroLink.h"
#include "tavro/memory/TavroMemory.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroPack.h"
#include "tavro/remote/TavroPackLoader.h"

using namespace tavro;

namespace {

const std::filesystem::path& directory() {
    static const std::filesystem::path made = [] {
        auto scratch = fuzzScratchDirectory("deep");
        security::Keychain::setDirectory(scratch / "keychain");
        return scratch;
    }();
    return made;
}

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

void stores(const std::string& document) {
    // Each unreadable file is set aside under a new name; start clean so that names never run out.
    std::error_code ignored;
    std::filesystem::remove_all(directory(), ignored);
    std::filesystem::create_directories(directory(), ignored);
    const auto defaultsFile = directory() / "defaults.json";
    writeFile(defaultsFile, document);
    if (!fnd::UserDefaults::open(defaultsFile)->setString("k", "v")) std::abort();
    if (fnd::UserDefaults::open(defaultsFile)->string("k") != "v") std::abort();

    writeFile(directory() / "keychain" / "svc.keychain", document);
    (void)security::Keychain::read("svc", "a");
    if (!security::Keychain::write("svc", "a", "v") || security::Keychain::read("svc", "a") != "v") std::abort();

    const auto recipes = directory() / "recipes.json";
    writeFile(recipes, document);
    TavroMemory memory(recipes);
    memory.reinforce(fnd::Uuid::random());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t count = 1000 + (static_cast<std::size_t>(data[0]) << 8 | data[1]) * 4;
    const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const auto split = rest.find('\0');
    const auto splitAgain = split == std::string_view::npos ? split : rest.find('\0', split + 1);
    if (splitAgain == std::string_view::npos) return 0;
    const std::string_view open = rest.substr(0, split);
    const std::string_view close = rest.substr(split + 1, splitAgain - split - 1);
    const std::string_view middle = rest.substr(splitAgain + 1);
    if (open.empty() || open.size() > 16 || close.size() > 16) return 0;

    std::string document;
    document.reserve(count * (open.size() + close.size()) + middle.size());
    for (std::size_t i = 0; i < count; ++i) document.append(open);
    document.append(middle);
    for (std::size_t i = 0; i < count; ++i) document.append(close);

    (void)TavroJSON::dictionary(document);
    (void)TavroAction::parse(document);
    (void)TavroPack::parse(document);
    (void)TavroAppMap::parse(document);
    (void)TavroLink::Stored::decode(document);
    try {
        (void)TavroPackLoader::verify(document, {}, std::nullopt);
    } catch (const TavroPack::Invalid&) {
    }
    stores(document);
    return 0;
}
