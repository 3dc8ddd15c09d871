#include "engine/event_keeper.h"

#include "core/localize.h"
#include "core/log.h"
#include "core/log_manager.h"
#include "core/popup_msg.h"
#include "engine/objc_helper.h"
#include "platform/window.h"

namespace vandrel {

namespace {

VDKey allModifiersKey(int keycode)
{
    return VDKey(keycode, EventKeeper::allModifiers());
}

void getFocusedWindowInfoToLog(const PopupPresenter& popup)
{
    const auto window = Window::newWindowWithFocused();
    if (!window) {
        popup(localized("_get_focused_window_fail"), 3.0);
        return;
    }
    nlohmann::json info = nlohmann::json::array();
    info.push_back(window->getRole());
    const auto data = window->getDataForStore();
    info.push_back(data ? *data : nlohmann::json());
    log.warning("Focused window's info get by all_modifiers_W ->\n", info);
    popup(localized("_window_info_stored_in_log"), 3.5);
}

VDActionPtr hiddenAction(VDAction::Step step)
{
    return VDAction::make()->addStep(std::move(step));
}

// The catalogue's toggle when it is registered; otherwise the same step of our own, so the Shift+Caps tap
// works in every build.
VDActionPtr toggleCapslockAction()
{
    if (auto registered = VDAction::registered("toggleCapslock")) return registered;
    static const VDActionPtr standIn =
        VDAction::make()->addStep([](const VDAtomicActionParam&) { ObjcHelper::capslockState(ObjcHelper::toggle); },
                                  VDAction::StepKind::postsKeys);
    return standIn;
}

struct HiddenActions {
    VDActionPtr nothingE = hiddenAction([](const VDAtomicActionParam&) {});
    VDActionPtr nothingA = hiddenAction([](const VDAtomicActionParam&) {});
    VDActionPtr nothingS = hiddenAction([](const VDAtomicActionParam&) {});
    VDActionPtr nothingD = hiddenAction([](const VDAtomicActionParam&) {});
    VDActionPtr nothingF = hiddenAction([](const VDAtomicActionParam&) {});
    VDActionPtr fullLog = hiddenAction([](const VDAtomicActionParam&) { LogManager::switchToLogAllLevel(); });
};

const HiddenActions& hiddenActions()
{
    static const HiddenActions actions;
    return actions;
}

}  // namespace

const ModifierSet& EventKeeper::allModifiers()
{
    static const ModifierSet modifiers{58, 59, 56, 55, 57};
    return modifiers;
}

const VDKey& EventKeeper::shiftCapslockTap()
{
    static const VDKey key(57, {56, 57});
    return key;
}

#define VANDREL_ALL_MODIFIERS_KEY(letter, keycode)         \
    const VDKey& EventKeeper::allModifiers_##letter()      \
    {                                                      \
        static const VDKey key = allModifiersKey(keycode); \
        return key;                                        \
    }
VANDREL_ALL_MODIFIERS_KEY(W, 13)
VANDREL_ALL_MODIFIERS_KEY(E, 14)
VANDREL_ALL_MODIFIERS_KEY(A, 0)
VANDREL_ALL_MODIFIERS_KEY(S, 1)
VANDREL_ALL_MODIFIERS_KEY(D, 2)
VANDREL_ALL_MODIFIERS_KEY(F, 3)
VANDREL_ALL_MODIFIERS_KEY(K, 40)
VANDREL_ALL_MODIFIERS_KEY(L, 37)
#undef VANDREL_ALL_MODIFIERS_KEY

EventKeeper::EventKeeper(ShowKeyboardMap showKeyboardMap, PopupPresenter popup)
{
    addHidingKeys(std::move(showKeyboardMap), std::move(popup));
}

EventKeeper::EventKeeper(const VDKeyScheme& scheme, ShowKeyboardMap showKeyboardMap, PopupPresenter popup)
{
    addHidingKeys(std::move(showKeyboardMap), std::move(popup));
    for (const auto& setting : scheme.keySettings.value())
        addKey(setting->key(), setting->action(), setting->paramSequence());
}

void EventKeeper::addKey(const VDKey& key, VDActionPtr action, VDAction::ParamSequence paramSequence)
{
    keyActions.insert_or_assign(key.id(), Entry{std::move(action), std::move(paramSequence)});
}

void EventKeeper::addHidingKeys(ShowKeyboardMap showKeyboardMap, PopupPresenter popup)
{
    const auto& hidden = hiddenActions();
    addKey(shiftCapslockTap(), toggleCapslockAction(), {});
    addKey(allModifiers_W(),
           hiddenAction([popup = popup ? std::move(popup) : PopupPresenter(&popupMsg)](const VDAtomicActionParam&) {
               getFocusedWindowInfoToLog(popup);
           }),
           {});
    addKey(allModifiers_E(), hidden.nothingE, {});
    addKey(allModifiers_A(), hidden.nothingA, {});
    addKey(allModifiers_S(), hidden.nothingS, {});
    addKey(allModifiers_D(), hidden.nothingD, {});
    addKey(allModifiers_F(), hidden.nothingF, {});
    addKey(allModifiers_K(), hiddenAction([show = std::move(showKeyboardMap)](const VDAtomicActionParam&) {
               if (show)
                   show();
               else
                   log.warning("The keyboard map is not available in this build, nothing shown");
           }),
           {});
    addKey(allModifiers_L(), hidden.fullLog, {});
}

EventKeeperPtr EventKeeper::withoutConflicting(const EventKeeperPtr& table, const VDKeySchemePtr& activeScheme)
{
    if (!table || !activeScheme) return nullptr;
    auto result = std::make_shared<EventKeeper>();
    result->keyActions = table->keyActions;
    for (const auto& key : activeScheme->conflictingHotkeys.value()) result->keyActions.erase(key.id());
    return result;
}

}  // namespace vandrel
