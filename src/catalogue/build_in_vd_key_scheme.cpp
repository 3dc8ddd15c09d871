#include "catalogue/build_in_vd_key_scheme.h"

#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"

namespace vandrel {

namespace {

constexpr int kCommand = 55;
constexpr int kShift = 56;
constexpr int kCapsLock = 57;
constexpr int kOption = 58;

using Params = std::vector<VDAtomicActionParam>;
using Settings = VDKeyScheme::KeySettings;
using B = BuiltInVDAction;

VDKey capsKey(int keycode)
{
    return VDKey(keycode, {kCapsLock});
}

VDKey capsCommandKey(int keycode)
{
    return VDKey(keycode, {kCapsLock, kCommand});
}

Params times(std::int64_t n)
{
    return {VDAtomicActionParam::times(n)};
}

// Shared by both schemes: the same setting objects.
const Settings& generalKeySettings()
{
    static const Settings settings{
        // The Caps Lock tap the input engine delivers alone.
        VDKeySetting::make(VDKey(kCapsLock, {}), B::tapCapsSendInputEsc()),
        VDKeySetting::make(VDKey(43, {kCapsLock, kShift}), B::showPreferences()),
        VDKeySetting::make(VDKey(44, {kCapsLock, kShift}), B::showCheatSheet()),
    };
    return settings;
}

Settings layoutKeySettings()
{
    return {
        VDKeySetting::make(capsKey(49), B::sendInput(), {VDAtomicActionParam::keyId(VDKey(36, {}).id())}),
        VDKeySetting::make(capsKey(14), B::moveUpN(), times(1)),
        VDKeySetting::make(capsKey(2), B::moveDownN(), times(1)),
        VDKeySetting::make(capsKey(1), B::moveLeftN(), times(1)),
        VDKeySetting::make(capsKey(3), B::moveRightN(), times(1)),
        VDKeySetting::make(capsCommandKey(14), B::moveUpN(), times(3)),
        VDKeySetting::make(capsCommandKey(2), B::moveDownN(), times(3)),
        VDKeySetting::make(capsCommandKey(1), B::moveLeftN(), times(5)),
        VDKeySetting::make(capsCommandKey(3), B::moveRightN(), times(5)),
        VDKeySetting::make(capsKey(17), B::moveUpN(), times(10)),
        VDKeySetting::make(capsKey(11), B::moveDownN(), times(10)),
        VDKeySetting::make(capsCommandKey(17), B::moveUpN(), times(30)),
        VDKeySetting::make(capsCommandKey(11), B::moveDownN(), times(30)),
        VDKeySetting::make(capsKey(0), B::moveLeftNWords(), times(1)),
        VDKeySetting::make(capsKey(5), B::moveRightNWords(), times(1)),
        VDKeySetting::make(capsCommandKey(0), B::moveLeftNWords(), times(3)),
        VDKeySetting::make(capsCommandKey(5), B::moveRightNWords(), times(3)),
        VDKeySetting::make(capsKey(35), B::moveToLineBeginning()),
        VDKeySetting::make(capsKey(41), B::moveToLineEnd()),
        VDKeySetting::make(capsCommandKey(35), B::moveToPageBeginning()),
        VDKeySetting::make(capsCommandKey(41), B::moveToPageEnd()),
        VDKeySetting::make(capsKey(34), B::selectUpN(), times(1)),
        VDKeySetting::make(capsKey(40), B::selectDownN(), times(1)),
        VDKeySetting::make(capsKey(38), B::selectLeftN(), times(1)),
        VDKeySetting::make(capsKey(37), B::selectRightN(), times(1)),
        VDKeySetting::make(capsCommandKey(34), B::selectUpN(), times(3)),
        VDKeySetting::make(capsCommandKey(40), B::selectDownN(), times(3)),
        VDKeySetting::make(capsCommandKey(38), B::selectLeftN(), times(5)),
        VDKeySetting::make(capsCommandKey(37), B::selectRightN(), times(5)),
        VDKeySetting::make(capsKey(16), B::selectUpN(), times(10)),
        VDKeySetting::make(capsKey(45), B::selectDownN(), times(10)),
        VDKeySetting::make(capsCommandKey(16), B::selectUpN(), times(30)),
        VDKeySetting::make(capsCommandKey(45), B::selectDownN(), times(30)),
        VDKeySetting::make(capsKey(4), B::selectLeftNWords(), times(1)),
        VDKeySetting::make(capsKey(47), B::selectRightNWords(), times(1)),
        VDKeySetting::make(capsCommandKey(4), B::selectLeftNWords(), times(3)),
        VDKeySetting::make(capsCommandKey(47), B::selectRightNWords(), times(3)),
        VDKeySetting::make(capsKey(43), B::selectCurrentWord()),
        VDKeySetting::make(capsCommandKey(43), B::selectCurrentLine()),
        VDKeySetting::make(capsKey(32), B::selectToLineBeginning()),
        VDKeySetting::make(capsKey(31), B::selectToLineEnd()),
        VDKeySetting::make(capsCommandKey(32), B::selectToPageBeginning()),
        VDKeySetting::make(capsCommandKey(31), B::selectToPageEnd()),
        VDKeySetting::make(capsKey(13), B::delete_()),
        VDKeySetting::make(capsKey(15), B::forwardDelete()),
        VDKeySetting::make(capsCommandKey(13), B::deleteWord()),
        VDKeySetting::make(capsCommandKey(15), B::forwardDeleteWord()),
        VDKeySetting::make(capsKey(33), B::deleteToLineBeginning()),
        VDKeySetting::make(capsKey(44), B::deleteToLineEnd()),
        VDKeySetting::make(capsCommandKey(33), B::deleteToPageBeginning()),
        VDKeySetting::make(capsCommandKey(44), B::deleteToPageEnd()),
        VDKeySetting::make(capsKey(51), B::deleteLine()),
        VDKeySetting::make(capsCommandKey(51), B::deleteAll()),
        VDKeySetting::make(capsKey(36), B::insertLineBelow()),
    };
}

Settings extraClipboardKeySettings()
{
    return {
        VDKeySetting::make(capsKey(7), B::extraPasteboard1Cut()),
        VDKeySetting::make(capsKey(8), B::extraPasteboard1Copy()),
        VDKeySetting::make(capsKey(9), B::extraPasteboard1Paste()),
        VDKeySetting::make(VDKey(9, {kCapsLock, kOption}), B::extraPasteboard1PastePlainText()),
        VDKeySetting::make(capsCommandKey(7), B::extraPasteboard2Cut()),
        VDKeySetting::make(capsCommandKey(8), B::extraPasteboard2Copy()),
        VDKeySetting::make(capsCommandKey(9), B::extraPasteboard2Paste()),
        VDKeySetting::make(VDKey(9, {kCapsLock, kOption, kCommand}), B::extraPasteboard2PastePlainText()),
    };
}

}  // namespace

const std::vector<WindowBindingKeys>& BuildInVDKeyScheme::vandrelWindowBindingKeysList()
{
    static const std::vector<WindowBindingKeys> list = [] {
        // The digits 1..9, 0: their key codes are not in numeric order.
        constexpr int digitKeycodes[] = {18, 19, 20, 21, 23, 22, 26, 28, 25, 29};
        std::vector<WindowBindingKeys> keys;
        for (int keycode : digitKeycodes)
            keys.push_back(WindowBindingKeys{VDKey(keycode, {kCapsLock, kOption}), VDKey(keycode, {kCapsLock})});
        return keys;
    }();
    return list;
}

const VDKeySchemePtr& BuildInVDKeyScheme::basic()
{
    static const VDKeySchemePtr scheme =
        VDKeyScheme::make("Basic", "The basic scheme of Vandrel.", VDKeySchemeType::builtIn, generalKeySettings());
    return scheme;
}

VDKeySchemePtr BuildInVDKeyScheme::vandrel_v20190601()
{
    Settings settings = generalKeySettings();
    const Settings layout = layoutKeySettings();
    settings.insert(settings.end(), layout.begin(), layout.end());
    std::int64_t slot = 1;
    for (const auto& keys : vandrelWindowBindingKeysList()) {
        const Params params{VDAtomicActionParam::windowBindingId(slot++)};
        settings.push_back(VDKeySetting::make(keys.bind, BuiltInVDAction::bindWindow(), params));
        settings.push_back(VDKeySetting::make(keys.activate, BuiltInVDAction::activateWindow(), params));
    }
    const Settings clipboards = extraClipboardKeySettings();
    settings.insert(settings.end(), clipboards.begin(), clipboards.end());
    if (Defaults()[DefaultsKeys::experimental_hotstring])
        settings.push_back(VDKeySetting::make(capsKey(48), BuiltInVDAction::hotstring()));
    return VDKeyScheme::make("Vandrel", "The default scheme of Vandrel.", VDKeySchemeType::builtIn,
                             std::move(settings));
}

}  // namespace vandrel
