#include "model/key_kit.h"

#include <QString>

#include "platform/platform.h"

namespace vandrel {

namespace {

// The key code the remapped Caps Lock key sends (the engine's proxy key).
constexpr int kProxyKeyCode = 80;

struct KeyRow {
    int keyCode;
    std::string_view name;
    std::string_view symbol;
};

constexpr KeyRow kKeyRows[] = {
    {36, "Enter", "↩"},         {48, "Tab", "⇥"},       {49, "Space", "⎵"},       {51, "Backspace", "⌫"},
    {53, "Esc", "⎋"},           {55, "Command", "⌘"},   {56, "Shift", "⇧"},       {57, "CapsLock", "⇪"},
    {58, "Option", "⌥"},        {59, "Control", "⌃"},   {60, "Right Shift", "⇧"}, {61, "Right Option", "⌥"},
    {62, "Right Control", "⌃"}, {72, "Volume Up", "🔊"}, {73, "Volume Down", "🔈"}, {74, "Mute", "🔇"},
    {63, "Function", "⌘"},      {122, "F1", "F1"},      {120, "F2", "F2"},        {99, "F3", "F3"},
    {118, "F4", "F4"},          {96, "F5", "F5"},       {97, "F6", "F6"},         {98, "F7", "F7"},
    {100, "F8", "F8"},          {101, "F9", "F9"},      {109, "F10", "F10"},      {103, "F11", "F11"},
    {111, "F12", "F12"},        {105, "F13", "F13"},    {107, "F14", "F14"},      {113, "F15", "F15"},
    {106, "F16", "F16"},        {64, "F17", "F17"},     {79, "F18", "F18"},       {80, "F19", "F19"},
    {90, "F20", "F20"},         {117, "Delete", "⌦"},   {115, "Home", "↖"},       {119, "End", "↘"},
    {116, "PageUp", "⇞"},       {121, "PageDown", "⇟"}, {123, "Left", "←"},       {124, "Right", "→"},
    {125, "Down", "↓"},         {126, "Up", "↑"},
};

// Modifiers as a Linux desktop names them, in display order.
struct ModifierRow {
    int keyCode;
    std::uint64_t flag;
    std::string_view name;
    std::string_view compactName;
};
constexpr ModifierRow kModifiers[] = {
    {59, EventFlags::maskControl, "Ctrl", "Ctrl"},         {58, EventFlags::maskAlternate, "Alt", "Alt"},
    {56, EventFlags::maskShift, "Shift", "Shift"},         {55, EventFlags::maskCommand, "Super", "Super"},
    {57, EventFlags::maskAlphaShift, "Caps Lock", "Caps"},
};

template <typename Held>
std::string modifierNames(Held held, ModifierNotation notation)
{
    std::string out;
    for (const auto& m : kModifiers) {
        if (!held(m)) continue;
        out += notation == ModifierNotation::compact ? m.compactName : m.name;
        out += '+';
    }
    return out;
}

std::vector<std::pair<int, std::string_view>> buildMap(bool symbols)
{
    std::vector<std::pair<int, std::string_view>> m;
    for (const auto& row : kKeyRows) m.emplace_back(row.keyCode, symbols ? row.symbol : row.name);
    return m;
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

const std::vector<std::pair<int, std::string_view>>& KeyKit::keyNameMap()
{
    static const auto m = buildMap(false);
    return m;
}

const std::vector<std::pair<int, std::string_view>>& KeyKit::keySymbolMap()
{
    static const auto m = buildMap(true);
    return m;
}

std::string KeyKit::getKeyNameOrKeySymbolFromKeyCode(std::uint16_t keyCode, bool needKeySymbol)
{
    if (keyCode == 55 || keyCode == 56 || keyCode == 58 || keyCode == 59) return {};
    const auto& map = needKeySymbol ? keySymbolMap() : keyNameMap();
    std::string result;
    bool found = false;
    for (const auto& [code, text] : map) {
        if (code == keyCode) {
            result = std::string(text);
            found = true;
            break;
        }
    }
    if (!found) result = layoutCharacter(keyCode);
    const QString q = QString::fromStdString(result);
    return (needKeySymbol ? q.toUpper() : capitalized(q)).toStdString();
}

std::string KeyKit::getKeyNameFromKeyCode(std::uint16_t keyCode)
{
    return getKeyNameOrKeySymbolFromKeyCode(keyCode, false);
}

std::string KeyKit::getCharFromKeyCode(std::uint16_t keyCode)
{
    return getKeyNameOrKeySymbolFromKeyCode(keyCode, true);
}

std::string KeyKit::modifiersToString(const ModifierSet& modifiers, ModifierNotation notation)
{
    return modifierNames([&](const ModifierRow& m) { return modifiers.count(m.keyCode) > 0; }, notation);
}

std::string KeyKit::modifierFlagsToString(std::uint64_t modifierFlags, ModifierNotation notation)
{
    return modifierNames([&](const ModifierRow& m) { return (modifierFlags & m.flag) != 0; }, notation);
}

std::string KeyKit::getStringFromKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags)
{
    return modifierFlagsToString(modifierFlags) + getKeyNameFromKeyCode(keyCode);
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
