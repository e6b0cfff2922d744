// The device's own language model as a TavroModel, and the calls behind it. Instead of asking for
// free text and reading JSON out of it, each question fills a typed record through guided
// generation (the record's fields, their descriptions and the allowed action names make up the
// schema), so a reply is always structurally valid. Every call opens its own session with the
// system prompt as instructions and greedy sampling, so replies repeat for the same screen.
// Below the operating-system version that carries the model, nothing is asked and both
// availability tests are false.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/Task.h"
#include "platform/sysmodel/GenerationSchema.h"
#include "platform/sysmodel/SystemModel.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroModel.h"

namespace tavro {

namespace AppleTavroRuntime {

// One next action, as the model fills it in.
struct Decision {
    std::string thought;
    // One of the sixteen kind names.
    std::string action;
    // An element id, or -1 when the action needs no element.
    std::int64_t id = -1;
    std::string text;
    bool submit = false;

    bool operator==(const Decision&) const = default;

    static sysmodel::GenerationSchema generationSchema();
    static std::optional<Decision> fromContent(const sysmodel::GeneratedContent& content);
    sysmodel::GeneratedContent content() const;
};

// A plan for a goal, as the model fills it in.
struct Reasoning {
    std::string intent;
    std::string done;
    std::vector<std::string> steps;
    std::string ask;

    bool operator==(const Reasoning&) const = default;

    static sysmodel::GenerationSchema generationSchema();
    static std::optional<Reasoning> fromContent(const sysmodel::GeneratedContent& content);
    sysmodel::GeneratedContent content() const;
};

// The first release of the operating system that carries the device model.
inline constexpr sysmodel::OSVersion firstSupportedVersion{26, 0, 0};

// The next action, or nothing when the model is unavailable, the request fails (one console line
// "[TAVRO_SDK] apple error " + the error) or the record names no kind.
rt::Task<std::optional<TavroAction>> decide(std::string system, std::string user);

// The plan as compact JSON text with the keys "ask", "done", "intent" and "steps", or nothing when
// the model is unavailable or the request fails (one console line "[TAVRO_SDK] apple think error ").
rt::Task<std::optional<std::string>> think(std::string system, std::string user);

}  // namespace AppleTavroRuntime

class AppleIntelligenceModel : public TavroModel {
public:
    AppleIntelligenceModel() = default;

    std::string name() const override;
    bool isAvailable() const override;
    TavroContextBudget budget() const override;
    bool wantsJSONInstructions() const override;
    rt::Task<std::optional<TavroAction>> decide(std::string system, std::string user) override;
    rt::Task<std::optional<std::string>> think(std::string system, std::string user) override;
    bool isSupportedOnDevice() const override;
    Kind kind() const final;
};

}  // namespace tavro
