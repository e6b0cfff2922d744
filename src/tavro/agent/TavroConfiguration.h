// The host's settings for the library: which models to use, how much to ask the user, what the
// overlay shows, the step limit, the app's named routes, what is known about the user, a per-step
// callback, which views the agent never reads, learning, debug logging, the remote link, remote
// packs, QA hooks and voice input.
//
// A plain value: every field is public and copies are independent (models are shared objects, so
// a copy refers to the same models). `TavroConfiguration{}` is the default configuration; fields
// can be named with designated initializers in the order below. Nothing is validated or clamped.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tavro/agent/TavroLinkSettings.h"
#include "tavro/core/TavroModel.h"
#include "tavro/diagnostics/TavroQAHooks.h"
#include "tavro/remote/TavroApproval.h"
#include "tavro/remote/TavroPackSettings.h"

namespace tavro {

struct TavroConfiguration {
    // One platform on-device model.
    static std::vector<std::shared_ptr<TavroModel>> defaultModels();

    // The language models, in order of preference.
    std::vector<std::shared_ptr<TavroModel>> models = defaultModels();
    // Which actions wait for the user's approval.
    TavroApproval approval = TavroApproval::deleteOrPay;
    // Steps run without waiting; the glow shows only while both this and showsGlow are set.
    bool autoRun = true;
    // The pointer moves to each target before it is acted on.
    bool showsCursor = true;
    // The screen edge glows while the agent runs (together with autoRun).
    bool showsGlow = true;
    // The floating launcher is shown (unless remote flags hide the SDK).
    bool showsLauncher = true;
    // The step limit of one run (an active pack can override it).
    int maxSteps = 30;
    // Named places of the app the agent may open with navigate, each a main-actor action.
    std::map<std::string, std::function<void()>> routes;
    // Main-actor function giving lines about the user for the prompts' known details.
    std::function<std::vector<std::string>()> knownDetails = [] { return std::vector<std::string>{}; };
    // Called on the main actor with the step line of each action that succeeded; empty: absent.
    std::function<void(std::string)> onStep;
    // Accessibility-identifier prefixes whose views the surface never reads ("tavro.sdk" is always
    // added in front when the configuration is applied).
    std::vector<std::string> excludedIdentifierPrefixes;
    // When false, applying the configuration switches "Watch & learn" off.
    bool allowsLearning = true;
    // The agent recalls and stores recipes.
    bool learns = true;
    // Switches the activity log on.
    bool debug = false;
    // Remote link settings: present starts the link, absent stops it.
    std::optional<TavroLinkSettings> link;
    // Remote pack settings (the maker's server, the built-in keys, every six hours); absent
    // disables packs.
    std::optional<TavroPackSettings> packs = TavroPackSettings{};
    // The host's QA hooks.
    std::optional<TavroQAHooks> qa;
    // The panel offers voice input.
    bool voice = true;
};

}  // namespace tavro
