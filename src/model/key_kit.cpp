#include "model/key_kit.h"

#include <QString>
#include <algorithm>

#include "platform/platform.h"

namespace vandrel {

namespace {

// The key code the remapped Caps Lock key sends (the engine's proxy key).
constexpr int kProxyKeyCode = 80;

// Per named key: the name the keyboard map knows the key by, and the name a hotkey text writes for it (the
// one Linux desktops use). Keys not listed here are written as what the layout types.
struct KeyRow {
    int keyCode;
    std::string_view name;
    std::string_view label;
};

constexpr KeyRow kKeyRows[] = {
    {36, "Enter", "Return"},
    {48, "Tab", "Tab"},
    {49, "Space", "Space"},
    {51, "Backspace", "Backspace"},
    {53, "Esc", "Escape"},
    {55, "Command", "Super"},
    {56, "Shift", "Shift"},
    {57, "CapsLock", "Caps Lock"},
    {58, "Option", "Alt"},
    {59, "Control", "Ctrl"},
    {60, "Right Shift", "Right Shift"},
    {61, "Right Option", "Right Alt"},
    {62, "Right Control", "Right Ctrl"},
    {72, "Volume Up", "Volume Up"},
    {73, "Volume Down", "Volume Down"},
    {74, "Mute", "Mute"},
    {71, "Num Lock", "Num Lock"},
    {76, "Keypad Enter", "Enter"},
    {114, "Insert", "Insert"},
    {63, "Function", "Fn"},
    {122, "F1", "F1"},
    {120, "F2", "F2"},
    {99, "F3", "F3"},
    {118, "F4", "F4"},
    {96, "F5", "F5"},
    {97, "F6", "F6"},
    {98, "F7", "F7"},
    {100, "F8", "F8"},
    {101, "F9", "F9"},
    {109, "F10", "F10"},
    {103, "F11", "F11"},
    {111, "F12", "F12"},
    {105, "F13", "F13"},
    {107, "F14", "F14"},
    {113, "F15", "F15"},
    {106, "F16", "F16"},
    {64, "F17", "F17"},
    {79, "F18", "F18"},
    {80, "F19", "F19"},
    {90, "F20", "F20"},
    {117, "Delete", "Delete"},
    {115, "Home", "Home"},
    {119, "End", "End"},
    {116, "PageUp", "Page Up"},
    {121, "PageDown", "Page Down"},
    {123, "Left", "Left"},
    {124, "Right", "Right"},
    {125, "Down", "Down"},
    {126, "Up", "Up"},
};

// Modifiers as a Linux desktop names them, in display order.
struct ModifierRow {
    int keyCode;
    std::uint64_t flag;
    std::string_view name;
};
constexpr ModifierRow kModifiers[] = {
    {59, EventFlags::maskControl, "Ctrl"},         {58, EventFlags::maskAlternate, "Alt"},
    {56, EventFlags::maskShift, "Shift"},          {55, EventFlags::maskCommand, "Super"},
    {57, EventFlags::maskAlphaShift, "Caps Lock"},
};

template <typename Held>
std::string modifierNames(Held held)
{
    std::string out;
    for (const auto& m : kModifiers) {
        if (!held(m)) continue;
        out += m.name;
        out += '+';
    }
    return out;
}

// First letter of every blank-separated word upper case, every other letter lower case.
QString capitalized(const QString& text)
{
    QString out;
    bool wordStart = true;
    for (QChar c : text) {
        if (c.isSpace()) {
            out += c;
            wordStart = true;
        } else {
            out += wordStart ? QString(c).toUpper() : QString(c).toLower();
            wordStart = false;
        }
    }
    return out;
}

std::string layoutCharacter(std::uint16_t keyCode)
{
    auto platform = Platform::shared();
    return platform ? platform->keyboardLayout().characterForKeyCode(keyCode) : std::string();
}

}  // namespace

std::int64_t KeyKit::makekeybitFrom(std::int64_t keycode, const ModifierSet& modifiers)
{
    std::int64_t bits = 0;
    if (modifiers.count(57)) bits += capsLockMask;
    if (modifiers.count(55)) bits += commandMask;
    if (modifiers.count(58)) bits += optionMask;
    if (modifiers.count(56)) bits += shiftMask;
    if (modifiers.count(59)) bits += controlMask;
    return bits + keycode;
}

KeyKit::KeycodeAndModifiers KeyKit::makeKeycodeAndModifiersFrom(std::int64_t keybit)
{
    KeycodeAndModifiers out{static_cast<int>((keybit & 0xFFFF) & 0xFFF), {}};
    if (keybit & capsLockMask) out.modifiers.insert(57);
    if (keybit & commandMask) out.modifiers.insert(55);
    if (keybit & optionMask) out.modifiers.insert(58);
    if (keybit & shiftMask) out.modifiers.insert(56);
    if (keybit & controlMask) out.modifiers.insert(59);
    return out;
}

std::string KeyKit::getKeyNameOrKeySymbolFromKeyCode(std::uint16_t keyCode, bool needKeySymbol)
{
    if (keyCode == 55 || keyCode == 56 || keyCode == 58 || keyCode == 59) return {};
    const auto* row = std::ranges::find(kKeyRows, int(keyCode), &KeyRow::keyCode);
    if (needKeySymbol && row != std::end(kKeyRows)) return std::string(row->label);
    if (needKeySymbol) return QString::fromStdString(layoutCharacter(keyCode)).toUpper().toStdString();
    const std::string name = row != std::end(kKeyRows) ? std::string(row->name) : layoutCharacter(keyCode);
    return capitalized(QString::fromStdString(name)).toStdString();
}

std::string KeyKit::getKeyNameFromKeyCode(std::uint16_t keyCode)
{
    return getKeyNameOrKeySymbolFromKeyCode(keyCode, false);
}

std::string KeyKit::getCharFromKeyCode(std::uint16_t keyCode)
{
    return getKeyNameOrKeySymbolFromKeyCode(keyCode, true);
}

std::string KeyKit::modifiersToString(const ModifierSet& modifiers)
{
    return modifierNames([&](const ModifierRow& m) { return modifiers.count(m.keyCode) > 0; });
}

std::string KeyKit::modifierFlagsToString(std::uint64_t modifierFlags)
{
    return modifierNames([&](const ModifierRow& m) { return (modifierFlags & m.flag) != 0; });
}

std::string KeyKit::getStringFromKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags)
{
    return modifierFlagsToString(modifierFlags) + getCharFromKeyCode(keyCode);
}

Keystroke KeyKit::cgeventToKeystroke(const KeyEvent& event)
{
    Keystroke k;
    k.vdr = event.keyCode == kProxyKeyCode;
    k.shift = isShiftDown(event.flags);
    k.ctrl = isCtrlDown(event.flags);
    k.opt = isOptDown(event.flags);
    k.cmd = isCmdDown(event.flags);
    k.keyCode = event.keyCode;
    return k;
}

}  // namespace vandrel
