#include "ui/prefs/hotkey_setting_editor.h"

#include <algorithm>
#include <utility>

#include "core/log.h"

namespace vandrel {

namespace {

// Puts newSetting in place of held (the same object, else the first equal one); appends it when held is
// null or no longer in the list, so an edit is never dropped.
void replaceOrAppend(VDKeyScheme& scheme, const VDKeySettingPtr& held, const VDKeySettingPtr& newSetting)
{
    auto settings = scheme.keySettings.value();
    auto it = held ? std::find(settings.begin(), settings.end(), held) : settings.end();
    if (held && it == settings.end())
        it = std::find_if(settings.begin(), settings.end(), [&](const VDKeySettingPtr& s) { return *s == *held; });
    if (it != settings.end())
        *it = newSetting;
    else
        settings.push_back(newSetting);
    scheme.keySettings.accept(settings);
}

}  // namespace

HotkeySettingEditor::HotkeySettingEditor(std::shared_ptr<KeyService> keyService, VDKeySchemePtr keyScheme,
                                         VDKeySettingPtr keySetting)
    : keySetting(keySetting),
      hotkeyToSet(keySetting ? std::optional<VDKey>(keySetting->key()) : std::nullopt),
      actionToSet(keySetting ? keySetting->action() : nullptr),
      paramsToSet(keySetting ? keySetting->paramSequence() : Params{}),
      keyService_(std::move(keyService)),
      keyScheme_(std::move(keyScheme))
{
    findConflicts();
}

void HotkeySettingEditor::findConflicts()
{
    VDKeyScheme::KeySettings others;
    const auto hotkey = hotkeyToSet.value();
    if (hotkey && keyScheme_) {
        const auto held = keySetting.value();
        for (const auto& setting : keyScheme_->keySettings.value())
            if (setting != held && setting->key().keybit() == hotkey->keybit()) others.push_back(setting);
    }
    conflictingSettings.accept(others);
}

bool HotkeySettingEditor::setHotkey(const VDKey& key)
{
    hotkeyToSet.accept(key);
    findConflicts();
    return pendingSetting() != nullptr;
}

bool HotkeySettingEditor::chooseAction(const VDActionPtr& action)
{
    if (!action) {
        log.error("Get represented object (VDAction) from selected item fail");
        return false;
    }
    const auto held = keySetting.value();
    if (held && held->action() == action) {
        log.debug("updateParamsBlock with keySetting");
        paramsToSet.accept(held->paramSequence());
    } else {
        log.debug("updateParamsBlock with action");
        paramsToSet.accept({});
    }
    actionToSet.accept(action);
    return pendingSetting() != nullptr;
}

bool HotkeySettingEditor::updateParams(const VDAtomicActionParam& param, std::size_t index)
{
    const auto action = actionToSet.value();
    if (!action) return false;
    auto values = selectorValues(action, paramsToSet.value());
    if (values.size() <= index) values.resize(index + 1);
    values[index] = param;
    paramsToSet.accept(storedSequence(action, std::move(values)));
    return pendingSetting() != nullptr;
}

std::vector<VDAtomicActionParam> HotkeySettingEditor::selectorValues(const VDActionPtr& action, const Params& params)
{
    Params values = params;
    if (!action) return values;
    const auto& defaults = action->defaultParamSequence();
    for (std::size_t i = values.size(); i < defaults.size(); ++i) values.push_back(defaults[i]);
    return values;
}

HotkeySettingEditor::Params HotkeySettingEditor::storedSequence(const VDActionPtr& action, Params values)
{
    const Params none;
    const auto& defaults = action ? action->defaultParamSequence() : none;
    // A place past the action's own parameters has no default: it stays, and so does everything before it.
    while (!values.empty() && values.size() <= defaults.size() && values.back() == defaults[values.size() - 1])
        values.pop_back();
    return values;
}

HotkeySettingEditor::Missing HotkeySettingEditor::missing() const
{
    if (!hotkeyToSet.value()) return Missing::hotkey;
    const auto action = actionToSet.value();
    if (!action) return Missing::action;
    const auto& check = action->paramSeqenceValidationCheck();
    if (check && !check(paramsToSet.value())) return Missing::parameters;
    return Missing::nothing;
}

VDKeySettingPtr HotkeySettingEditor::createKeySetting() const
{
    if (missing() != Missing::nothing) return nullptr;
    return VDKeySetting::make(*hotkeyToSet.value(), actionToSet.value(), paramsToSet.value());
}

VDKeySettingPtr HotkeySettingEditor::pendingSetting() const
{
    auto newSetting = createKeySetting();
    const auto held = keySetting.value();
    if (!newSetting || (held && *held == *newSetting && held->action() == newSetting->action())) return nullptr;
    return newSetting;
}

bool HotkeySettingEditor::commit()
{
    const auto newSetting = pendingSetting();
    if (!newSetting || !keyScheme_ || !keyService_) return false;
    log.debug("create a new keysetting");
    const auto held = keySetting.value();

    log.debug(held ? "replace keysetting" : "add new key setting");
    auto copy = keyService_->modifyButCreateACutomSchemeForBuildInScheme(
        keyScheme_, [&](VDKeyScheme& scheme) { replaceOrAppend(scheme, held, newSetting); });
    keySetting.accept(newSetting);
    // A copy was stored by the key service (which told the user if it could not be); a scheme changed in
    // place is stored here.
    if (copy)
        keyScheme_ = copy;
    else if (keyScheme_->type() == VDKeySchemeType::custom && !keyScheme_->writeIntoUserDefaults())
        log.error("The key scheme could not be stored ->", keyScheme_->name.value());
    return true;
}

}  // namespace vandrel
