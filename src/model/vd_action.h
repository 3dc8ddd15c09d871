// What a key combination does: ordered steps, each taking one action parameter, with default parameters,
// display texts, a display group and conditional steps tried before the normal ones. Actions are shared
// objects built once (the built-in catalogue builds and registers them) and referred to by idName in stored
// schemes: {"idName": "moveUpN"}.
//
//   auto a = VDAction::make("moveUpN", localized("Move Up"), VDActionGroup::movement)
//                ->addMultiKeyCombo(126, {}, 1)
//                ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
//                ->appendToQueryDisc();
//   a->doWithParamSequence({VDAtomicActionParam::times(3)});   // three Up taps
//
// Build an action completely before registering or sharing it; from then on it is only read, and may be
// read and run from any thread. Some actions are recognised by object identity, so never copy one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/decode_result.h"
#include "model/key_kit.h"
#include "model/vd_action_group.h"
#include "model/vd_atomic_action_param.h"
#include "platform/event_tap.h"

namespace vandrel {

class VDAction;
using VDActionPtr = std::shared_ptr<VDAction>;

class VDAction : public std::enable_shared_from_this<VDAction> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    using ParamSequence = std::vector<VDAtomicActionParam>;
    using Step = std::function<void(const VDAtomicActionParam&)>;
    using DynamicDescription = std::function<std::optional<std::string>(const ParamSequence&)>;
    using Condition = std::function<bool()>;
    // Returns false to end the run: no later conditional step and no normal step runs.
    using ConditionalStep = std::function<bool(const ParamSequence&)>;
    struct ConditionalAction {
        Condition condition;
        ConditionalStep action;
    };
    using ParamSequenceCheck = std::function<bool(const ParamSequence&)>;
    struct KeyCombo {
        int keycode;
        ModifierSet modifiers;
    };

    // An empty action: no idName, titled "<no set>", group noGroup, no steps. Never registered by anyone.
    static VDActionPtr make();
    static VDActionPtr make(std::string idName, std::string desc, VDActionGroup group, std::vector<Step> actions = {},
                            ParamSequence paramSequence = {}, DynamicDescription dynamicDescription = {});
    VDAction(Passkey, std::string idName, std::string desc, VDActionGroup group, std::vector<Step> actions,
             ParamSequence paramSequence, DynamicDescription dynamicDescription);
    VDAction(const VDAction&) = delete;
    VDAction& operator=(const VDAction&) = delete;

    const std::string& idName() const { return idName_; }
    // Already localized by whoever built the action.
    const std::string& staticDescription() const { return staticDescription_; }
    // Empty for most actions.
    const DynamicDescription& dynamicDescription() const { return dynamicDescription_; }
    VDActionGroup group() const { return group_; }
    const std::vector<Step>& actions() const { return actions_; }
    const ParamSequence& defaultParamSequence() const { return defaultParamSequence_; }
    const std::vector<ConditionalAction>& conditionalActions() const { return conditionalActions_; }
    // Accepts every sequence unless the builder set a stricter check.
    const ParamSequenceCheck& paramSeqenceValidationCheck() const { return paramSeqenceValidationCheck_; }

    // What a step does, as far as where it may run is concerned.
    enum class StepKind {
        any,        // may call a service or show something: runs on the main queue
        postsKeys,  // only posts key strokes (and reads thread-safe state): may run on the key path itself
    };
    // True when every step and conditional step only posts keys. Such an action runs where the key that
    // triggered it was handled, in order with the keys around it, and never waits for the GUI thread.
    bool postsKeysOnly() const { return postsKeysOnly_; }

    // Builders: each changes this action and returns it, so calls chain.
    VDActionPtr setDynamicDescription(DynamicDescription dynamicDescription);
    VDActionPtr setDefaultParamSequence(ParamSequence paramSequence);
    VDActionPtr setParamSeqenceValidationCheck(ParamSequenceCheck check);
    VDActionPtr addStep(Step step, StepKind kind = StepKind::any);
    VDActionPtr addConditionalAction(Condition condition, ConditionalStep action, StepKind kind = StepKind::any);
    // A tap (down, up) of the key code without modifiers; ignores its parameter.
    VDActionPtr addKeyTap(int keycode);
    // One tap of the key with its modifier keys held around it (left held when isKeepHoldingAfterActionDone);
    // posted at tapLocation when one is given. Ignores its parameter.
    VDActionPtr addKeyCombo(int keycode, ModifierSet modifiers, bool isKeepHoldingAfterActionDone = false,
                            std::optional<EventTapLocation> tapLocation = std::nullopt);
    // n taps of the key inside one press of its modifier keys: n is the parameter's count when it is times,
    // else defaultCount. A count below zero taps nothing.
    VDActionPtr addMultiKeyCombo(int keycode, ModifierSet modifiers, std::int64_t defaultCount);
    // While isOnEmacsShortcutApp() holds (the frontmost application is terminal-like; the builder passes the
    // probe, read each time the action runs) the action types these combos instead (the list n times over, n
    // from a leading times parameter, else 1) and its normal steps do not run.
    VDActionPtr addEmacsLimitedCombo(Condition isOnEmacsShortcutApp, std::vector<KeyCombo> hotkeys);
    // While isOnEmacsShortcutApp() holds the action does nothing.
    VDActionPtr addNoActionWhenEmacs(Condition isOnEmacsShortcutApp);

    // Registers this action under its idName unless one is registered there already (the first wins; the
    // second is logged as an error). Returns this action either way. Thread-safe.
    VDActionPtr appendToQueryDisc();

    // Runs the conditional steps, then step i with params[i] (none past the end), on the calling thread.
    void doWithParamSequence(const ParamSequence& params) const;
    // Runs with the default parameters, logging each step.
    void post() const;

    // {"idName": "..."}
    nlohmann::ordered_json toJson() const;
    // A stand-in carrying the decoded idName and the title of the registered action of that name (of the
    // no-action action when none is registered), group noGroup, no steps. Fails when "idName" is missing or
    // not text.
    static DecodeResult<VDActionPtr> fromJson(const nlohmann::ordered_json& json);

    // The registered action of that idName, or null.
    static VDActionPtr registered(std::string_view idName);
    // An unregistered action that does nothing, keeps idName (so it is stored back unchanged) and is titled
    // like the no-action action. Stands in for actions this build does not have.
    static VDActionPtr placeholder(std::string idName);
    // The title of the registered "noAction", or the localized "No Action" before the catalogue registered it.
    static std::string noActionTitle();

private:
    void run(const ParamSequence& params, bool logSteps) const;

    const std::string idName_;
    const std::string staticDescription_;
    DynamicDescription dynamicDescription_;
    const VDActionGroup group_;
    std::vector<Step> actions_;
    ParamSequence defaultParamSequence_;
    std::vector<ConditionalAction> conditionalActions_;
    ParamSequenceCheck paramSeqenceValidationCheck_;
    bool postsKeysOnly_;
};

}  // namespace vandrel
