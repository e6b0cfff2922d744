// The one face every language model has towards the agent: a name for the panel, an availability
// test, how much of a screen the model is shown, whether the prompt must spell out the JSON reply
// format, and three questions (next action, up-front step list, free reasoning text).
//
// A conformer derives from TavroModel and overrides what it has. The defaults are ordinary virtual
// functions, so a default reaches the conformer's own members: the default think() asks the
// conformer's plan(), the default isSupportedOnDevice() its isAvailable(). Models are shared as
// std::shared_ptr<TavroModel>; a question's task uses the model, so the caller keeps it alive until
// the task ends. A model never throws to its caller: nothing is the answer for no reply, an
// unusable reply, or an unavailable model.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/Task.h"
#include "tavro/core/TavroAction.h"

namespace tavro {

// How much of one screen a model is shown per prompt.
struct TavroContextBudget {
    // The most screen elements listed in one user prompt.
    std::int64_t elements = 0;
    // The most characters of the screen's text quoted in one user prompt.
    std::int64_t textChars = 0;

    bool operator==(const TavroContextBudget&) const = default;

    // 40 elements, 800 characters: the platform's on-device model.
    static const TavroContextBudget small;
    // 70 elements, 1600 characters: what a model is shown unless it says otherwise.
    static const TavroContextBudget large;
    // 32 elements, 600 characters: offered to hosts for models with a small context.
    static const TavroContextBudget compact;
};

inline constexpr TavroContextBudget TavroContextBudget::small{40, 800};
inline constexpr TavroContextBudget TavroContextBudget::large{70, 1600};
inline constexpr TavroContextBudget TavroContextBudget::compact{32, 600};

class TavroModel {
public:
    // What a model is to the library: the platform's own on-device model, a model the host ships as
    // a download, or any other (a host's text model, say). Analytics names the engine by it, and
    // the remote switch for devices without a native model never counts a downloadable one.
    enum class Kind { other, platform, downloadable };

    virtual ~TavroModel() = default;

    // Shown to the user as the engine's name.
    virtual std::string name() const = 0;
    // Whether the model can answer now; decides which configured models take part in a run.
    virtual bool isAvailable() const = 0;
    // How much of a screen the model is shown. Default: TavroContextBudget::large.
    virtual TavroContextBudget budget() const;
    // Whether the system prompt must describe the JSON reply format. Default: true.
    virtual bool wantsJSONInstructions() const;

    // The next action for the screen the prompts describe, or nothing.
    virtual rt::Task<std::optional<TavroAction>> decide(std::string system, std::string user) = 0;
    // An up-front list of steps, or nothing. Default: nothing.
    virtual rt::Task<std::optional<std::vector<std::string>>> plan(std::string system, std::string user);
    // Free reasoning text, or nothing. Default: this model's plan() joined with "\n" (nothing when the
    // plan is nothing; an empty plan gives the empty text).
    virtual rt::Task<std::optional<std::string>> think(std::string system, std::string user);
    // Whether the device could run the model even if it is not ready now. Default: isAvailable().
    virtual bool isSupportedOnDevice() const;
    // Default: Kind::other. The platform's model and every downloadable model answer for themselves.
    virtual Kind kind() const;

protected:
    TavroModel() = default;
    TavroModel(const TavroModel&) = default;
    TavroModel& operator=(const TavroModel&) = default;
};

}  // namespace tavro
