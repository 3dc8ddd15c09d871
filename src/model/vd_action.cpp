#include "model/vd_action.h"

#include <map>
#include <mutex>

#include "core/localize.h"
#include "core/log.h"
#include "model/vd_key.h"

namespace vandrel {

namespace {

// Actions live until the process ends, so the registry holds them strongly and only grows.
struct Registry {
    std::mutex mutex;
    std::map<std::string, VDActionPtr, std::less<>> actions;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

std::int64_t repeatCount(const VDAtomicActionParam& param, std::int64_t fallback)
{
    return param.timesValue().value_or(fallback);
}

void tapHoldingModifiers(const VDKey& key, std::int64_t times)
{
    VDKey::doWhileModifiersPressing(
        key.modifiers(),
        [&] {
            for (std::int64_t i = 0; i < times; ++i) {
                key.keyAct(true);
                key.keyAct(false);
            }
        },
        false);
}

std::string comboText(std::size_t index, const VDAction::KeyCombo& combo)
{
    return std::to_string(index) + ", " + std::to_string(combo.keycode) + ", " + logText(combo.modifiers);
}

}  // namespace

VDAction::VDAction(Passkey, std::string idName, std::string desc, VDActionGroup group, std::vector<Step> actions,
                   ParamSequence paramSequence, DynamicDescription dynamicDescription)
    : idName_(std::move(idName)),
      staticDescription_(std::move(desc)),
      dynamicDescription_(std::move(dynamicDescription)),
      group_(group),
      actions_(std::move(actions)),
      defaultParamSequence_(std::move(paramSequence)),
      paramSeqenceValidationCheck_([](const ParamSequence&) { return true; }),
      // Steps handed over whole are of unknown kind.
      postsKeysOnly_(actions_.empty())
{
}

VDActionPtr VDAction::make()
{
    return make("", "<no set>", VDActionGroup::noGroup);
}

VDActionPtr VDAction::make(std::string idName, std::string desc, VDActionGroup group, std::vector<Step> actions,
                           ParamSequence paramSequence, DynamicDescription dynamicDescription)
{
    return std::make_shared<VDAction>(Passkey{}, std::move(idName), std::move(desc), group, std::move(actions),
                                      std::move(paramSequence), std::move(dynamicDescription));
}

VDActionPtr VDAction::setDynamicDescription(DynamicDescription dynamicDescription)
{
    dynamicDescription_ = std::move(dynamicDescription);
    return shared_from_this();
}

VDActionPtr VDAction::setDefaultParamSequence(ParamSequence paramSequence)
{
    defaultParamSequence_ = std::move(paramSequence);
    return shared_from_this();
}

VDActionPtr VDAction::setParamSeqenceValidationCheck(ParamSequenceCheck check)
{
    if (check) paramSeqenceValidationCheck_ = std::move(check);
    return shared_from_this();
}

VDActionPtr VDAction::addStep(Step step, StepKind kind)
{
    if (!step) return shared_from_this();
    actions_.push_back(std::move(step));
    if (kind != StepKind::postsKeys) postsKeysOnly_ = false;
    return shared_from_this();
}

VDActionPtr VDAction::addConditionalAction(Condition condition, ConditionalStep action, StepKind kind)
{
    if (!condition || !action) return shared_from_this();
    conditionalActions_.push_back({std::move(condition), std::move(action)});
    if (kind != StepKind::postsKeys) postsKeysOnly_ = false;
    return shared_from_this();
}

VDActionPtr VDAction::addKeyTap(int keycode)
{
    return addStep(
        [keycode](const VDAtomicActionParam&) {
            const VDKey key(keycode, {});
            key.keyAct(true);
            key.keyAct(false);
        },
        StepKind::postsKeys);
}

VDActionPtr VDAction::addKeyCombo(int keycode, ModifierSet modifiers, bool isKeepHoldingAfterActionDone,
                                  std::optional<EventTapLocation> tapLocation)
{
    return addStep(
        [keycode, modifiers = std::move(modifiers), isKeepHoldingAfterActionDone,
         tapLocation](const VDAtomicActionParam&) {
            VDKey key(keycode, modifiers);
            if (tapLocation) key.setTapLocation(*tapLocation);
            VDKey::doWhileModifiersPressing(
                modifiers,
                [&key] {
                    key.keyAct(true);
                    key.keyAct(false);
                },
                isKeepHoldingAfterActionDone);
        },
        StepKind::postsKeys);
}

VDActionPtr VDAction::addMultiKeyCombo(int keycode, ModifierSet modifiers, std::int64_t defaultCount)
{
    return addStep(
        [key = VDKey(keycode, std::move(modifiers)), defaultCount](const VDAtomicActionParam& param) {
            tapHoldingModifiers(key, repeatCount(param, defaultCount));
        },
        StepKind::postsKeys);
}

VDActionPtr VDAction::addEmacsLimitedCombo(Condition isOnEmacsShortcutApp, std::vector<KeyCombo> hotkeys)
{
    std::vector<VDKey> keys;
    for (std::size_t i = 0; i < hotkeys.size(); ++i) {
        log.debug("addEmacsCombo ->", comboText(i, hotkeys[i]));
        keys.emplace_back(hotkeys[i].keycode, hotkeys[i].modifiers);
    }
    return addConditionalAction(
        std::move(isOnEmacsShortcutApp),
        [keys = std::move(keys)](const ParamSequence& params) {
            const VDAtomicActionParam first = params.empty() ? VDAtomicActionParam::none() : params.front();
            log.info("invoking emacs ->", params);
            const std::int64_t n = repeatCount(first, 1);
            for (std::int64_t i = 0; i < n; ++i)
                for (const auto& key : keys) tapHoldingModifiers(key, 1);
            return false;
        },
        StepKind::postsKeys);
}

VDActionPtr VDAction::addNoActionWhenEmacs(Condition isOnEmacsShortcutApp)
{
    return addConditionalAction(
        std::move(isOnEmacsShortcutApp), [](const ParamSequence&) { return false; }, StepKind::postsKeys);
}

VDActionPtr VDAction::appendToQueryDisc()
{
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    auto [it, inserted] = reg.actions.try_emplace(idName_, shared_from_this());
    if (!inserted) log.error("Action is already exist!, idName ->", it->second->idName());
    return shared_from_this();
}

void VDAction::run(const ParamSequence& params, bool logSteps) const
{
    for (const auto& conditional : conditionalActions_) {
        if (!conditional.condition()) continue;
        if (!conditional.action(params)) return;
    }
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        const bool given = i < params.size();
        if (logSteps) {
            log.debug("post action 0->", i);
            log.debug(given ? "post action 2->" : "post action 1->", i);
        }
        actions_[i](given ? params[i] : VDAtomicActionParam::none());
    }
}

void VDAction::doWithParamSequence(const ParamSequence& params) const
{
    run(params, false);
}

void VDAction::post() const
{
    run(defaultParamSequence_, true);
}

nlohmann::ordered_json VDAction::toJson() const
{
    return nlohmann::ordered_json{{"idName", idName_}};
}

DecodeResult<VDActionPtr> VDAction::fromJson(const nlohmann::ordered_json& json)
{
    if (!json.is_object()) return DecodeError{"action: expected an object"};
    auto it = json.find("idName");
    if (it == json.end()) return DecodeError{"action: missing \"idName\""};
    if (!it->is_string()) return DecodeError{"action: \"idName\" is not text"};
    std::string idName = it->get<std::string>();
    auto known = registered(idName);
    std::string title = known ? known->staticDescription() : noActionTitle();
    return make(std::move(idName), std::move(title), VDActionGroup::noGroup);
}

VDActionPtr VDAction::registered(std::string_view idName)
{
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    auto it = reg.actions.find(idName);
    return it == reg.actions.end() ? nullptr : it->second;
}

VDActionPtr VDAction::placeholder(std::string idName)
{
    return make(std::move(idName), noActionTitle(), VDActionGroup::noGroup);
}

std::string VDAction::noActionTitle()
{
    if (auto noAction = registered("noAction")) return noAction->staticDescription();
    return localized("No Action");
}

}  // namespace vandrel
