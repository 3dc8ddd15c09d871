#include "catalogue/built_in_vd_action.h"

#include "catalogue/recorded_key.h"
#include "catalogue/system_terminal.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/log.h"
#include "engine/vandrel.h"
#include "platform/platform.h"

namespace vandrel {

namespace {

using ParamSequence = VDAction::ParamSequence;

// Modifier key codes.
constexpr int kCommand = 55;
constexpr int kShift = 56;
constexpr int kOption = 58;
constexpr int kControl = 59;

// Virtual key codes of the keys the actions post.
constexpr int kA = 0;
constexpr int kD = 2;
constexpr int kF = 3;
constexpr int kB = 11;
constexpr int kW = 13;
constexpr int kE = 14;
constexpr int kU = 32;
constexpr int kLeftBracket = 33;
constexpr int kReturn = 36;
constexpr int kK = 40;
constexpr int kDelete = 51;
constexpr int kEscape = 53;
constexpr int kForwardDelete = 117;
constexpr int kLeft = 123;
constexpr int kRight = 124;
constexpr int kDown = 125;
constexpr int kUp = 126;

void switchCapsLockLockState()
{
    auto platform = Platform::shared();
    if (!platform) {
        log.error("Cannot toggle Caps Lock: no platform installed");
        return;
    }
    if (!platform->hidKeyboard().toggleCapsLockLockState()) log.warning("Cannot toggle the Caps Lock lock");
}

void serviceUnavailable(const std::string& idName)
{
    log.warning("The service of this action is not available yet ->", idName);
}

std::shared_ptr<const BuiltInVDAction::Environment> environment()
{
    return BuiltInVDAction::environment().get();
}

VandrelServices coreServices()
{
    const auto env = environment();
    return env ? env->services : VandrelServices{};
}

void onMainQueue(std::function<void()> job)
{
    const auto env = environment();
    if (env && env->mainScheduler)
        env->mainScheduler->schedule(std::move(job));
    else
        log.warning("No keyboard engine runs, the action's work is dropped");
}

bool isOnEmacsShortcutApp()
{
    const auto env = environment();
    return env && env->isOnEmacsShortcutApp && env->isOnEmacsShortcutApp();
}

// The system terminal erases with its own control keys: the modifier travels in the key's flags, with no
// modifier key events around it.
void tapsWithFlags(const std::vector<VDAction::KeyCombo>& keys)
{
    for (const auto& combo : keys) {
        const VDKey key(combo.keycode, combo.modifiers);
        key.keyAct(true);
        key.keyAct(false);
    }
}

VDActionPtr addSystemTerminalTaps(VDActionPtr action, std::vector<VDAction::KeyCombo> keys)
{
    return action->addConditionalAction(
        &SystemTerminal::isFrontmost,
        [keys = std::move(keys)](const ParamSequence&) {
            tapsWithFlags(keys);
            return false;
        },
        VDAction::StepKind::postsKeys);
}

// Whether the frontmost application's word moves stop at word starts. The published snapshot: the actions
// ask on the input thread, which never waits on the desktop.
bool frontmostMovesToWordStarts()
{
    const auto platform = Platform::shared();
    return platform && platform->workspace().frontmostSnapshot()->movesToWordStarts;
}

// Each combo with its modifier keys held around it, in order.
void postCombos(const std::vector<VDAction::KeyCombo>& combos)
{
    for (const auto& combo : combos) {
        const VDKey key(combo.keycode, combo.modifiers);
        VDKey::doWhileModifiersPressing(
            combo.modifiers,
            [&key] {
                key.keyAct(true);
                key.keyAct(false);
            },
            false);
    }
}

// Title templates are localized once, when the action is built, like the static titles.
std::string localizedTemplate(const std::string& text)
{
    return text.empty() ? text : localized(text);
}

std::optional<std::int64_t> leadingWindowBindingId(const ParamSequence& params)
{
    if (params.empty()) return std::nullopt;
    return params.front().windowBindingIdValue();
}

VDAction::DynamicDescription windowTitle(const std::string& templateText)
{
    return [title = localized(templateText)](const ParamSequence& params) -> std::optional<std::string> {
        const auto slot = leadingWindowBindingId(params);
        if (!slot || *slot <= 0) return std::nullopt;
        return fillPlaceholders(title, std::to_string(*slot));
    };
}

bool namesOneSlot(const ParamSequence& params)
{
    const auto slot = leadingWindowBindingId(params);
    return params.size() == 1 && slot && *slot > 0;
}

// A window-binding action: logs, then hands the step's parameter to the service's entry point.
VDActionPtr makeWindowAction(const char* idName, const char* title, const char* titleTemplate, const char* logLine,
                             std::function<void(const VDAtomicActionParam&)> VandrelServices::*entry)
{
    return VDAction::make(idName, localized(title), VDActionGroup::windowBinding)
        ->addStep([idName = std::string(idName), logLine, entry](const VDAtomicActionParam& param) {
            log.debug(logLine);
            const auto service = coreServices().*entry;
            if (!service) return serviceUnavailable(idName);
            service(param);
        })
        ->setDefaultParamSequence({VDAtomicActionParam::windowBindingId(-1)})
        ->setDynamicDescription(windowTitle(titleTemplate))
        ->setParamSeqenceValidationCheck(&namesOneSlot)
        ->appendToQueryDisc();
}

// An extra-clipboard action. It is no key-only action, so the deliverer runs it on the main queue; it works
// right there, so the copy or paste strokes it posts are out before the keys typed after it go on.
VDActionPtr makeExtraClipboardAction(const char* idName, const char* titleTemplate, int clipboard, bool isPaste,
                                     bool flag)
{
    return VDAction::make(idName, localized(titleTemplate, std::to_string(clipboard)), VDActionGroup::multiClipboard)
        ->addStep([idName = std::string(idName), clipboard, isPaste, flag](const VDAtomicActionParam&) {
            const auto services = coreServices();
            if (isPaste) {
                if (!services.pasteLastFromExtraClipboard) return serviceUnavailable(idName);
                services.pasteLastFromExtraClipboard(clipboard, flag);
            } else {
                if (!services.copyToExtraClipboard) return serviceUnavailable(idName);
                services.copyToExtraClipboard(clipboard, flag);
            }
        })
        ->appendToQueryDisc();
}

}  // namespace

InstalledInstance<const BuiltInVDAction::Environment>& BuiltInVDAction::environment()
{
    static InstalledInstance<const Environment> slot;
    return slot;
}

std::shared_ptr<const BuiltInVDAction::Environment> BuiltInVDAction::environmentOf(const Vandrel& core)
{
    auto made = std::make_shared<Environment>();
    made->services = core.services();
    made->mainScheduler = core.mainScheduler();
    made->isOnEmacsShortcutApp = [env = core.env] { return env->isOnEmacsShortcutApp.value(); };
    return made;
}

VDActionPtr BuiltInVDAction::createDynamicTapAction(std::string name, int keycode, ModifierSet modifiers,
                                                    VDActionGroup actionGroup, std::string staticDesc,
                                                    std::string dynamicDesc,
                                                    std::optional<std::string> defaultDynamicDesc,
                                                    std::int64_t defulatTimes, std::optional<int> emacsKeycode,
                                                    std::optional<ModifierSet> emacsModifiers)
{
    auto action = VDAction::make(name, staticDesc, actionGroup);
    action->addStep(
        [name, key = VDKey(keycode, std::move(modifiers)), defulatTimes](const VDAtomicActionParam& p) {
            const std::int64_t times = p.timesValue().value_or(defulatTimes);
            if (times < 0) {
                // Pressing the modifier keys alone would still reach the application; a bad count does nothing.
                log.warning("A negative repeat count posts nothing ->", name + " " + std::to_string(times));
                return;
            }
            VDKey::doWhileModifiersPressing(
                key.modifiers(),
                [&key, times] {
                    for (std::int64_t i = 0; i < times; ++i) {
                        key.keyAct(true);
                        key.keyAct(false);
                    }
                },
                false);
        },
        VDAction::StepKind::postsKeys);
    // Three entries have no count template; their title stays the static one rather than turning empty.
    action->setDynamicDescription(
        [dynamicDesc = localizedTemplate(dynamicDesc), fallback = defaultDynamicDesc.value_or(staticDesc)](
            const ParamSequence& params) -> std::optional<std::string> {
            if (!params.empty() && !dynamicDesc.empty())
                if (const auto times = params.front().timesValue(); times && *times != 1)
                    return fillPlaceholders(dynamicDesc, std::to_string(*times));
            return fallback;
        });
    if (emacsKeycode && emacsModifiers)
        action->addEmacsLimitedCombo(&isOnEmacsShortcutApp, {{*emacsKeycode, *emacsModifiers}});
    return action;
}

const VDActionPtr& BuiltInVDAction::noAction()
{
    static const VDActionPtr action = VDAction::make("noAction", localized("No Action"), VDActionGroup::noGroup)
                                          ->addStep([](const VDAtomicActionParam&) {})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::showPreferences()
{
    static const VDActionPtr action =
        VDAction::make("showPreferences", localized("Preferences..."), VDActionGroup::vandrelGeneral)
            ->addStep([](const VDAtomicActionParam&) {
                log.debug("Show Preferences");
                const auto show = coreServices().showPreferences;
                if (!show) return serviceUnavailable("showPreferences");
                show();
            })
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::showCheatSheet()
{
    static const VDActionPtr action =
        VDAction::make("showCheatSheet", localized("Show Cheat Sheet"), VDActionGroup::vandrelGeneral)
            ->addStep([](const VDAtomicActionParam&) {
                log.debug("Show Cheat Sheet");
                onMainQueue([] {
                    const auto show = coreServices().showCheatSheet;
                    if (!show) return serviceUnavailable("showCheatSheet");
                    show();
                });
            })
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::tapCapsSendInputEsc()
{
    static const VDActionPtr action =
        VDAction::make("sendInputEsc", localized("Send Input: ${0}", VDKey(kEscape, {}).keyCharWithModifiers()),
                       VDActionGroup::vandrelGeneral)
            ->addKeyTap(kEscape)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::toggleCapslock()
{
    static const VDActionPtr action =
        VDAction::make("toggleCapslock", localized("Toggle Caps Lock"), VDActionGroup::general)
            // On the key path, so keys typed right after Shift+Caps follow the new lock state.
            ->addStep(
                [](const VDAtomicActionParam&) {
                    log.debug("toggle capslock");
                    switchCapsLockLockState();
                },
                VDAction::StepKind::postsKeys)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::sendInput()
{
    static const VDActionPtr action =
        VDAction::make("sendInput", localized("Send Input"), VDActionGroup::general)
            ->addStep(
                [](const VDAtomicActionParam& param) {
                    const auto id = param.keyIdValue();
                    if (!id) return;
                    const auto key = RecordedKey::fromId(*id);
                    if (!key) {
                        log.warning("Send Input: the key id does not parse, nothing posted ->", *id);
                        return;
                    }
                    RecordedKey::keyAct(*key, true);
                    RecordedKey::keyAct(*key, false);
                },
                VDAction::StepKind::postsKeys)
            ->setDynamicDescription(
                [title = localized("Send Input: ${0}")](const ParamSequence& params) -> std::optional<std::string> {
                    if (params.empty()) return std::nullopt;
                    const auto id = params.front().keyIdValue();
                    if (!id) return std::nullopt;
                    const auto key = RecordedKey::fromId(*id);
                    if (!key) return std::nullopt;
                    return fillPlaceholders(title, key->keyCharWithModifiers());
                })
            ->appendToQueryDisc();
    return action;
}

// Movement.

const VDActionPtr& BuiltInVDAction::moveUpN()
{
    static const VDActionPtr action =
        createDynamicTapAction("moveUpN", kUp, {}, VDActionGroup::movement, localized("Move Up"), "Move Up ${0} Times")
            ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveDownN()
{
    static const VDActionPtr action = createDynamicTapAction("moveDownN", kDown, {}, VDActionGroup::movement,
                                                             localized("Move Down"), "Move Down ${0} Times")
                                          ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveLeftN()
{
    static const VDActionPtr action = createDynamicTapAction("moveLeftN", kLeft, {}, VDActionGroup::movement,
                                                             localized("Move Left"), "Move Left ${0} Times")
                                          ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveRightN()
{
    static const VDActionPtr action = createDynamicTapAction("moveRightN", kRight, {}, VDActionGroup::movement,
                                                             localized("Move Right"), "Move Right ${0} Times")
                                          ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveLeftNWords()
{
    static const VDActionPtr action =
        createDynamicTapAction("moveLeftNWords", kLeft, {kOption}, VDActionGroup::movement, localized("Move Left Word"),
                               "Move Left ${0} Words")
            ->addEmacsLimitedCombo(&isOnEmacsShortcutApp, {{kLeftBracket, {kControl}}, {kB, {}}})
            ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveRightNWords()
{
    static const VDActionPtr action =
        createDynamicTapAction("moveRightNWords", kRight, {kOption}, VDActionGroup::movement,
                               localized("Move Right Word"), "Move Right ${0} Words")
            ->addEmacsLimitedCombo(&isOnEmacsShortcutApp, {{kLeftBracket, {kControl}}, {kF, {}}})
            ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveToLineBeginning()
{
    static const VDActionPtr action =
        createDynamicTapAction("moveToLineBeginning", kLeft, {kCommand}, VDActionGroup::movement,
                               localized("Move to the Beginning of the Line"), "", std::nullopt, 1, kA, {{kControl}})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveToLineEnd()
{
    static const VDActionPtr action =
        createDynamicTapAction("moveToLineEnd", kRight, {kCommand}, VDActionGroup::movement,
                               localized("Move to the End of the Line"), "", std::nullopt, 1, kE, {{kControl}})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveToPageBeginning()
{
    static const VDActionPtr action =
        VDAction::make("moveToPageBeginning", localized("Move to the Beginning of the Page"), VDActionGroup::movement)
            ->addKeyCombo(kUp, {kCommand})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::moveToPageEnd()
{
    static const VDActionPtr action =
        VDAction::make("moveToPageEnd", localized("Move to the End of the Page"), VDActionGroup::movement)
            ->addKeyCombo(kDown, {kCommand})
            ->appendToQueryDisc();
    return action;
}

// Selection: none of it in terminal-like applications, where Shift+arrows mean something else.

const VDActionPtr& BuiltInVDAction::selectUpN()
{
    static const VDActionPtr action = createDynamicTapAction("selectUpN", kUp, {kShift}, VDActionGroup::selection,
                                                             localized("Select Up"), "Select Up ${0} Times")
                                          ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
                                          ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectDownN()
{
    static const VDActionPtr action = createDynamicTapAction("selectDownN", kDown, {kShift}, VDActionGroup::selection,
                                                             localized("Select Down"), "Select Down ${0} Times")
                                          ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
                                          ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectLeftN()
{
    static const VDActionPtr action = createDynamicTapAction("selectLeftN", kLeft, {kShift}, VDActionGroup::selection,
                                                             localized("Select Left"), "Select Left ${0} Times")
                                          ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
                                          ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectRightN()
{
    static const VDActionPtr action = createDynamicTapAction("selectRightN", kRight, {kShift}, VDActionGroup::selection,
                                                             localized("Select Right"), "Select Right ${0} Times")
                                          ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
                                          ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectCurrentWord()
{
    static const VDActionPtr action =
        VDAction::make("selectCurrentWord", localized("Select Current Word"), VDActionGroup::selection)
            // One step right first, so that a cursor at the word's start is inside it: a word move left from
            // there would reach the word before.
            ->addKeyTap(kRight)
            ->addKeyCombo(kLeft, {kOption})
            ->addKeyCombo(kRight, {kShift, kOption})
            ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
            // Where a word move goes to the next word's start (Qt's text widgets, LibreOffice), the strokes
            // above select the line break at a line's end: Right crosses it, and the word move left comes back
            // only to the line's end. There (after the Emacs pair: a Qt terminal selects nothing) the strokes
            // keep the selection on the line:
            // - Word Right, Left, Left, Word Right put the cursor after the word it touches, before the next word
            //   or at the line's end (from a line's end the first move crosses it and the Lefts come back);
            // - Shift+Word Left selects back to the word's start: the word and the space after it, as these
            //   editors' own word moves take it;
            // - Shift+Right, Shift+Right, Shift+Word Left go past that start and back to it. On an empty line,
            //   where every move crossed a line break and came back, Shift+Word Left went into the line before,
            //   and these come back: nothing is selected.
            // No shorter order of strokes gets all of that right, and none of up to a dozen gets these right too:
            // a word of one character at a line's end (nothing is selected, or the word before it) and an empty
            // last line (the word at the end of the line above).
            ->addConditionalAction(
                &frontmostMovesToWordStarts,
                [](const ParamSequence&) {
                    postCombos({{kRight, {kOption}},
                                {kLeft, {}},
                                {kLeft, {}},
                                {kRight, {kOption}},
                                {kLeft, {kShift, kOption}},
                                {kRight, {kShift}},
                                {kRight, {kShift}},
                                {kLeft, {kShift, kOption}}});
                    return false;
                },
                VDAction::StepKind::postsKeys)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectCurrentLine()
{
    static const VDActionPtr action =
        VDAction::make("selectCurrentLine", localized("Select Current Line"), VDActionGroup::selection)
            ->addKeyCombo(kLeft, {kCommand})
            ->addKeyCombo(kRight, {kShift, kCommand})
            ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectLeftNWords()
{
    static const VDActionPtr action =
        createDynamicTapAction("selectLeftNWords", kLeft, {kShift, kOption}, VDActionGroup::selection,
                               localized("Select Left Word"), "Select Left ${0} Words")
            ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
            ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectRightNWords()
{
    static const VDActionPtr action =
        createDynamicTapAction("selectRightNWords", kRight, {kShift, kOption}, VDActionGroup::selection,
                               localized("Select Right Word"), "Select Right ${0} Words")
            ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
            ->setDefaultParamSequence({VDAtomicActionParam::times(1)})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectToLineBeginning()
{
    static const VDActionPtr action =
        VDAction::make("selectToLineBeginning", localized("Select to the Beginning of the Line"),
                       VDActionGroup::selection)
            ->addKeyCombo(kLeft, {kShift, kCommand})
            ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectToLineEnd()
{
    static const VDActionPtr action =
        VDAction::make("selectToLineEnd", localized("Select to the End of the Line"), VDActionGroup::selection)
            ->addKeyCombo(kRight, {kShift, kCommand})
            ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectToPageBeginning()
{
    static const VDActionPtr action =
        VDAction::make("selectToPageBeginning", localized("Select to the Beginning of the Page"),
                       VDActionGroup::selection)
            ->addKeyCombo(kUp, {kShift, kCommand})
            ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::selectToPageEnd()
{
    static const VDActionPtr action =
        VDAction::make("selectToPageEnd", localized("Select to the End of the Page"), VDActionGroup::selection)
            ->addKeyCombo(kDown, {kShift, kCommand})
            ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
            ->appendToQueryDisc();
    return action;
}

// Editing.

const VDActionPtr& BuiltInVDAction::delete_()
{
    static const VDActionPtr action =
        VDAction::make("delete", localized("Delete"), VDActionGroup::editing)->addKeyTap(kDelete)->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::forwardDelete()
{
    static const VDActionPtr action =
        VDAction::make("forwardDelete", localized("Forward Delete"), VDActionGroup::editing)
            ->addKeyTap(kForwardDelete)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::deleteWord()
{
    static const VDActionPtr action = VDAction::make("deleteWord", localized("Delete Word"), VDActionGroup::editing)
                                          ->addKeyCombo(kDelete, {kOption})
                                          ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::forwardDeleteWord()
{
    static const VDActionPtr action =
        createDynamicTapAction("forwardDeleteWord", kForwardDelete, {kOption}, VDActionGroup::editing,
                               localized("Forward Delete Word"), "", std::nullopt, 1, kD, {{kOption}})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::deleteToLineBeginning()
{
    static const VDActionPtr action = [] {
        auto a = VDAction::make("deleteToLineBeginning", localized("Delete to the Beginning of the Line"),
                                VDActionGroup::editing)
                     ->addKeyCombo(kLeft, {kShift, kCommand})
                     ->addKeyTap(kDelete);
        // The system terminal's own pair comes first, so there it wins over the Emacs-style strokes.
        return addSystemTerminalTaps(a, {{kU, {kControl}}})
            ->addEmacsLimitedCombo(&isOnEmacsShortcutApp, {{kLeftBracket, {kControl}}, {kW, {}}})
            ->appendToQueryDisc();
    }();
    return action;
}

const VDActionPtr& BuiltInVDAction::deleteToLineEnd()
{
    static const VDActionPtr action =
        VDAction::make("deleteToLineEnd", localized("Delete to the End of the Line"), VDActionGroup::editing)
            ->addKeyCombo(kRight, {kShift, kCommand})
            ->addKeyTap(kForwardDelete)
            ->addEmacsLimitedCombo(&isOnEmacsShortcutApp, {{kK, {kControl}}})
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::deleteToPageBeginning()
{
    static const VDActionPtr action =
        VDAction::make("deleteToPageBeginning", localized("Delete to the Beginning of the Page"),
                       VDActionGroup::editing)
            ->addKeyCombo(kUp, {kShift, kCommand})
            ->addKeyTap(kDelete)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::deleteToPageEnd()
{
    static const VDActionPtr action =
        VDAction::make("deleteToPageEnd", localized("Delete to the End of the Page"), VDActionGroup::editing)
            ->addKeyCombo(kDown, {kShift, kCommand})
            ->addKeyTap(kForwardDelete)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::insertLineBelow()
{
    static const VDActionPtr action =
        VDAction::make("insertLineBelow", localized("Insert Line Below"), VDActionGroup::editing)
            ->addKeyCombo(kRight, {kCommand})
            ->addKeyTap(kReturn)
            ->appendToQueryDisc();
    return action;
}

const VDActionPtr& BuiltInVDAction::deleteLine()
{
    static const VDActionPtr action = [] {
        auto a = VDAction::make("deleteLine", localized("Delete Line"), VDActionGroup::editing)
                     ->addKeyCombo(kRight, {kCommand})
                     ->addKeyCombo(kLeft, {kShift, kCommand})
                     ->addKeyTap(kDelete);
        return addSystemTerminalTaps(a, {{kK, {kControl}}, {kU, {kControl}}})
            ->addEmacsLimitedCombo(&isOnEmacsShortcutApp, {{kU, {kControl}}})
            ->appendToQueryDisc();
    }();
    return action;
}

const VDActionPtr& BuiltInVDAction::deleteAll()
{
    static const VDActionPtr action = VDAction::make("deleteAll", localized("Delete All"), VDActionGroup::editing)
                                          ->addKeyCombo(kA, {kCommand})
                                          ->addKeyTap(kDelete)
                                          ->addNoActionWhenEmacs(&isOnEmacsShortcutApp)
                                          ->appendToQueryDisc();
    return action;
}

// Window binding.

const VDActionPtr& BuiltInVDAction::bindWindow()
{
    static const VDActionPtr action = makeWindowAction("bindWindow", "Bind Window", "Window ${0} - Bind",
                                                       "bind window~", &VandrelServices::bindWindow);
    return action;
}

const VDActionPtr& BuiltInVDAction::activateWindow()
{
    static const VDActionPtr action = makeWindowAction("activateWindow", "Activate Window", "Window ${0} - Activate",
                                                       "activate window~", &VandrelServices::activateWindow);
    return action;
}

// Extra clipboards.

const VDActionPtr& BuiltInVDAction::extraPasteboard1Cut()
{
    static const VDActionPtr action =
        makeExtraClipboardAction("extraPasteboard1Cut", "Extra Clipboard ${0} - Cut", 1, false, true);
    return action;
}

const VDActionPtr& BuiltInVDAction::extraPasteboard1Copy()
{
    static const VDActionPtr action =
        makeExtraClipboardAction("extraPasteboard1Copy", "Extra Clipboard ${0} - Copy", 1, false, false);
    return action;
}

const VDActionPtr& BuiltInVDAction::extraPasteboard1Paste()
{
    static const VDActionPtr action =
        makeExtraClipboardAction("extraPasteboard1Paste", "Extra Clipboard ${0} - Paste", 1, true, false);
    return action;
}

const VDActionPtr& BuiltInVDAction::extraPasteboard1PastePlainText()
{
    static const VDActionPtr action = makeExtraClipboardAction(
        "extraPasteboard1PastePlainText", "Extra Clipboard ${0} - Paste (Plain Text)", 1, true, true);
    return action;
}

const VDActionPtr& BuiltInVDAction::extraPasteboard2Cut()
{
    static const VDActionPtr action =
        makeExtraClipboardAction("extraPasteboard2Cut", "Extra Clipboard ${0} - Cut", 2, false, true);
    return action;
}

const VDActionPtr& BuiltInVDAction::extraPasteboard2Copy()
{
    static const VDActionPtr action =
        makeExtraClipboardAction("extraPasteboard2Copy", "Extra Clipboard ${0} - Copy", 2, false, false);
    return action;
}

const VDActionPtr& BuiltInVDAction::extraPasteboard2Paste()
{
    static const VDActionPtr action =
        makeExtraClipboardAction("extraPasteboard2Paste", "Extra Clipboard ${0} - Paste", 2, true, false);
    return action;
}

const VDActionPtr& BuiltInVDAction::extraPasteboard2PastePlainText()
{
    static const VDActionPtr action = makeExtraClipboardAction(
        "extraPasteboard2PastePlainText", "Extra Clipboard ${0} - Paste (Plain Text)", 2, true, true);
    return action;
}

// Others.

const VDActionPtr& BuiltInVDAction::hotstring()
{
    static const VDActionPtr action = VDAction::make("hotstring", localized("Hotstring"), VDActionGroup::others)
                                          ->addStep([](const VDAtomicActionParam&) {
                                              const auto expand = coreServices().expandHotstring;
                                              if (!expand) return serviceUnavailable("hotstring");
                                              expand();
                                          })
                                          ->appendToQueryDisc();
    return action;
}

void BuiltInVDAction::registerAll()
{
    for (auto* read : {&noAction,
                       &showPreferences,
                       &showCheatSheet,
                       &tapCapsSendInputEsc,
                       &toggleCapslock,
                       &sendInput,
                       &moveUpN,
                       &moveDownN,
                       &moveLeftN,
                       &moveRightN,
                       &moveLeftNWords,
                       &moveRightNWords,
                       &moveToLineBeginning,
                       &moveToLineEnd,
                       &moveToPageBeginning,
                       &moveToPageEnd,
                       &selectUpN,
                       &selectDownN,
                       &selectLeftN,
                       &selectRightN,
                       &selectCurrentWord,
                       &selectCurrentLine,
                       &selectLeftNWords,
                       &selectRightNWords,
                       &selectToLineBeginning,
                       &selectToLineEnd,
                       &selectToPageBeginning,
                       &selectToPageEnd,
                       &delete_,
                       &forwardDelete,
                       &deleteWord,
                       &forwardDeleteWord,
                       &deleteToLineBeginning,
                       &deleteToLineEnd,
                       &deleteToPageBeginning,
                       &deleteToPageEnd,
                       &insertLineBelow,
                       &deleteLine,
                       &deleteAll,
                       &bindWindow,
                       &activateWindow,
                       &extraPasteboard1Cut,
                       &extraPasteboard1Copy,
                       &extraPasteboard1Paste,
                       &extraPasteboard1PastePlainText,
                       &extraPasteboard2Cut,
                       &extraPasteboard2Copy,
                       &extraPasteboard2Paste,
                       &extraPasteboard2PastePlainText})
        read();
    if (Defaults()[DefaultsKeys::experimental_hotstring]) hotstring();
}

const std::vector<VDActionGroup>& BuiltInVDAction::SettableActions::groups()
{
    static const std::vector<VDActionGroup> offered{
        VDActionGroup::general,       VDActionGroup::movement,       VDActionGroup::selection, VDActionGroup::editing,
        VDActionGroup::windowBinding, VDActionGroup::multiClipboard, VDActionGroup::others,
    };
    return offered;
}

const std::unordered_map<VDActionGroup, std::vector<VDActionPtr>>& BuiltInVDAction::SettableActions::actionsOfGroup()
{
    static const std::unordered_map<VDActionGroup, std::vector<VDActionPtr>> table = [] {
        std::unordered_map<VDActionGroup, std::vector<VDActionPtr>> t;
        t.emplace(VDActionGroup::vandrelGeneral,
                  std::vector<VDActionPtr>{tapCapsSendInputEsc(), showPreferences(), showCheatSheet()});
        t.emplace(VDActionGroup::general, std::vector<VDActionPtr>{sendInput()});
        t.emplace(VDActionGroup::movement,
                  std::vector<VDActionPtr>{moveUpN(), moveDownN(), moveLeftN(), moveRightN(), moveLeftNWords(),
                                           moveRightNWords(), moveToLineBeginning(), moveToLineEnd(),
                                           moveToPageBeginning(), moveToPageEnd()});
        t.emplace(VDActionGroup::selection,
                  std::vector<VDActionPtr>{selectUpN(), selectDownN(), selectLeftN(), selectRightN(),
                                           selectCurrentWord(), selectCurrentLine(), selectLeftNWords(),
                                           selectRightNWords(), selectToLineBeginning(), selectToLineEnd(),
                                           selectToPageBeginning(), selectToPageEnd()});
        t.emplace(VDActionGroup::editing,
                  std::vector<VDActionPtr>{delete_(), forwardDelete(), deleteWord(), forwardDeleteWord(),
                                           deleteToLineBeginning(), deleteToLineEnd(), deleteToPageBeginning(),
                                           deleteToPageEnd(), deleteLine(), deleteAll(), insertLineBelow()});
        t.emplace(VDActionGroup::windowBinding, std::vector<VDActionPtr>{bindWindow(), activateWindow()});
        t.emplace(
            VDActionGroup::multiClipboard,
            std::vector<VDActionPtr>{extraPasteboard1Cut(), extraPasteboard1Copy(), extraPasteboard1Paste(),
                                     extraPasteboard1PastePlainText(), extraPasteboard2Cut(), extraPasteboard2Copy(),
                                     extraPasteboard2Paste(), extraPasteboard2PastePlainText()});
        auto& others = t[VDActionGroup::others];
        if (Defaults()[DefaultsKeys::experimental_hotstring]) others.push_back(hotstring());
        return t;
    }();
    return table;
}

}  // namespace vandrel
