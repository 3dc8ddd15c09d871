#include "platform/linux/input/posting_translator.h"

#include <linux/input-event-codes.h>

#include "platform/linux/input/key_code_table.h"

namespace vandrel {

namespace {

constexpr std::uint64_t kCommand = EventFlags::maskCommand;
constexpr std::uint64_t kOption = EventFlags::maskAlternate;
constexpr std::uint64_t kControl = EventFlags::maskControl;
constexpr std::uint64_t kShift = EventFlags::maskShift;
constexpr std::uint64_t kIdiomMask = kCommand | kOption | kControl;

// Virtual key codes of the idioms.
constexpr std::uint16_t kA = 0, kZ = 6, kX = 7, kC = 8, kV = 9;
constexpr std::uint16_t kBackspace = 51, kForwardDelete = 117;
constexpr std::uint16_t kLeft = 123, kRight = 124, kDown = 125, kUp = 126;

enum class Context { any, normalOnly, terminalOnly };

struct Idiom {
    std::uint16_t keyCode;
    std::uint64_t modifiers;  // exact Command/Option/Control set; Shift rides along
    Context context;
    // Strokes of a key-down: a prefix tapped whole, then the main key pressed; a key-up releases the main key.
    std::uint16_t prefixCode;  // 0: none
    std::uint8_t prefixModifiers;
    std::uint16_t mainCode;  // 0: nothing is written
    std::uint8_t mainModifiers;
};

constexpr std::uint8_t S = EvdevStroke::shift;
constexpr std::uint8_t C = EvdevStroke::ctrl;

constexpr Idiom kIdioms[] = {
    // Line and word movement (Shift, when given, selects as on the original).
    {kLeft, kCommand, Context::any, 0, 0, KEY_HOME, 0},
    {kRight, kCommand, Context::any, 0, 0, KEY_END, 0},
    {kLeft, kOption, Context::any, 0, 0, KEY_LEFT, C},
    {kRight, kOption, Context::any, 0, 0, KEY_RIGHT, C},
    {kUp, kCommand, Context::any, 0, 0, KEY_HOME, C},
    {kDown, kCommand, Context::any, 0, 0, KEY_END, C},
    // Deleting words and to the line ends: there is no single Linux stroke for the line, so the rest of the
    // line is selected first and the selection deleted.
    {kBackspace, kOption, Context::any, 0, 0, KEY_BACKSPACE, C},
    {kForwardDelete, kOption, Context::any, 0, 0, KEY_DELETE, C},
    {kBackspace, kCommand, Context::any, KEY_HOME, S, KEY_BACKSPACE, 0},
    {kForwardDelete, kCommand, Context::any, KEY_END, S, KEY_DELETE, 0},
    // Clipboard, select all, undo.
    {kC, kCommand, Context::normalOnly, 0, 0, KEY_C, C},
    {kX, kCommand, Context::normalOnly, 0, 0, KEY_X, C},
    {kV, kCommand, Context::normalOnly, 0, 0, KEY_V, C},
    {kA, kCommand, Context::normalOnly, 0, 0, KEY_A, C},
    {kZ, kCommand, Context::normalOnly, 0, 0, KEY_Z, C},
    // Terminals keep Ctrl+C, Ctrl+V, Ctrl+A and Ctrl+Z for the program inside: Ctrl+C would interrupt it and
    // Ctrl+Z suspend it. Cut cannot remove terminal text, so it copies; undo has no terminal counterpart.
    {kC, kCommand, Context::terminalOnly, 0, 0, KEY_C, C | S},
    {kX, kCommand, Context::terminalOnly, 0, 0, KEY_C, C | S},
    {kV, kCommand, Context::terminalOnly, 0, 0, KEY_V, C | S},
    {kA, kCommand, Context::terminalOnly, 0, 0, KEY_A, C | S},
    {kZ, kCommand, Context::terminalOnly, 0, 0, 0, 0},
};

bool applies(const Idiom& idiom, bool terminalLike)
{
    switch (idiom.context) {
        case Context::any:
            return true;
        case Context::normalOnly:
            return !terminalLike;
        case Context::terminalOnly:
            return terminalLike;
    }
    return false;
}

const Idiom* findIdiom(const KeyEvent& event, bool terminalLike)
{
    const std::uint64_t mods = event.flags & kIdiomMask;
    for (const auto& idiom : kIdioms)
        if (idiom.keyCode == event.keyCode && idiom.modifiers == mods && applies(idiom, terminalLike)) return &idiom;
    return nullptr;
}

// Whether the posted event presses (true) or releases (false) its key.
bool isPress(const KeyEvent& event)
{
    if (event.type != KeyEventType::flagsChanged) return event.type == KeyEventType::keyDown;
    // A modifier's own change: pressed when its flag is in the new flags.
    const std::uint64_t flag = KeyCodeTable::modifierFlag(event.keyCode);
    return flag != 0 && (event.flags & flag) != 0;
}

}  // namespace

std::uint8_t PostingTranslator::strokeModifiers(std::uint64_t flags)
{
    std::uint8_t m = 0;
    if (flags & kShift) m |= EvdevStroke::shift;
    if (flags & kControl) m |= EvdevStroke::ctrl;
    if (flags & kOption) m |= EvdevStroke::alt;
    if (flags & kCommand) m |= EvdevStroke::meta;
    return m;
}

std::optional<std::vector<EvdevStroke>> PostingTranslator::translateRecorded(const KeyEvent& event)
{
    const auto code = KeyCodeTable::evdevCode(event.keyCode);
    if (!code) return std::nullopt;
    return std::vector<EvdevStroke>{{*code, isPress(event), strokeModifiers(event.flags)}};
}

std::optional<std::vector<EvdevStroke>> PostingTranslator::translate(const KeyEvent& event, bool terminalLike)
{
    if (VirtualKeyCode::isModifier(event.keyCode)) {
        // Its press and release are carried by the flags of the key it accompanies.
        if (!KeyCodeTable::evdevCode(event.keyCode)) return std::nullopt;
        return std::vector<EvdevStroke>{};
    }
    const Idiom* idiom = findIdiom(event, terminalLike);
    if (!idiom) return translateRecorded(event);

    std::vector<EvdevStroke> strokes;
    if (idiom->mainCode == 0) return strokes;
    const std::uint8_t shift = (event.flags & kShift) ? EvdevStroke::shift : 0;
    const bool down = isPress(event);
    if (down && idiom->prefixCode != 0) {
        const std::uint8_t mods = idiom->prefixModifiers | shift;
        strokes.push_back({idiom->prefixCode, true, mods});
        strokes.push_back({idiom->prefixCode, false, mods});
    }
    // The deletion after a selecting prefix must not extend the selection.
    const std::uint8_t mainMods = idiom->mainModifiers | (idiom->prefixCode != 0 ? 0 : shift);
    strokes.push_back({idiom->mainCode, down, mainMods});
    return strokes;
}

bool PostingTranslator::dependsOnTerminal(const KeyEvent& event)
{
    return findIdiom(event, false) != findIdiom(event, true);
}

}  // namespace vandrel
