#include "platform/linux/input/posting_translator.h"

#include <linux/input-event-codes.h>

#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "core/log.h"
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

enum class Context { any, normalOnly, ctrlShiftTerminal, ctrlAltTerminal, selectionTerminal };

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
constexpr std::uint8_t A = EvdevStroke::alt;

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
    // Terminals hand Ctrl+C, Ctrl+V, Ctrl+A and Ctrl+Z to the program inside (Ctrl+C would interrupt it, Ctrl+Z
    // suspend it), so each terminal's own clipboard keys are used, and nothing where it has none: such a
    // terminal turns any other Ctrl stroke into a control character. Cut cannot remove terminal text, so it
    // copies; undo has no terminal counterpart.
    {kC, kCommand, Context::ctrlShiftTerminal, 0, 0, KEY_C, C | S},
    {kX, kCommand, Context::ctrlShiftTerminal, 0, 0, KEY_C, C | S},
    {kV, kCommand, Context::ctrlShiftTerminal, 0, 0, KEY_V, C | S},
    {kA, kCommand, Context::ctrlShiftTerminal, 0, 0, KEY_A, C | S},
    {kZ, kCommand, Context::ctrlShiftTerminal, 0, 0, 0, 0},
    {kC, kCommand, Context::ctrlAltTerminal, 0, 0, KEY_C, C | A},
    {kX, kCommand, Context::ctrlAltTerminal, 0, 0, KEY_C, C | A},
    {kV, kCommand, Context::ctrlAltTerminal, 0, 0, KEY_V, C | A},
    {kA, kCommand, Context::ctrlAltTerminal, 0, 0, 0, 0},
    {kZ, kCommand, Context::ctrlAltTerminal, 0, 0, 0, 0},
    // No clipboard keys: the copy is taken from the PRIMARY selection by the clipboard service, and the paste
    // goes through Shift+Insert, which pastes PRIMARY.
    {kC, kCommand, Context::selectionTerminal, 0, 0, 0, 0},
    {kX, kCommand, Context::selectionTerminal, 0, 0, 0, 0},
    {kV, kCommand, Context::selectionTerminal, 0, 0, KEY_INSERT, S},
    {kA, kCommand, Context::selectionTerminal, 0, 0, 0, 0},
    {kZ, kCommand, Context::selectionTerminal, 0, 0, 0, 0},
};

bool applies(const Idiom& idiom, std::optional<TerminalClipboardKeys> terminal)
{
    switch (idiom.context) {
        case Context::any:
            return true;
        case Context::normalOnly:
            return !terminal;
        case Context::ctrlShiftTerminal:
            return terminal == TerminalClipboardKeys::ctrlShift;
        case Context::ctrlAltTerminal:
            return terminal == TerminalClipboardKeys::ctrlAlt;
        case Context::selectionTerminal:
            return terminal == TerminalClipboardKeys::selection;
    }
    return false;
}

const Idiom* findIdiom(const KeyEvent& event, std::optional<TerminalClipboardKeys> terminalLike)
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

// The character each character key types on the US layout, which the posted key codes name.
constexpr std::pair<std::uint16_t, char> kCharacterKeys[] = {
    {KEY_A, 'a'},         {KEY_B, 'b'},           {KEY_C, 'c'},     {KEY_D, 'd'},          {KEY_E, 'e'},
    {KEY_F, 'f'},         {KEY_G, 'g'},           {KEY_H, 'h'},     {KEY_I, 'i'},          {KEY_J, 'j'},
    {KEY_K, 'k'},         {KEY_L, 'l'},           {KEY_M, 'm'},     {KEY_N, 'n'},          {KEY_O, 'o'},
    {KEY_P, 'p'},         {KEY_Q, 'q'},           {KEY_R, 'r'},     {KEY_S, 's'},          {KEY_T, 't'},
    {KEY_U, 'u'},         {KEY_V, 'v'},           {KEY_W, 'w'},     {KEY_X, 'x'},          {KEY_Y, 'y'},
    {KEY_Z, 'z'},         {KEY_1, '1'},           {KEY_2, '2'},     {KEY_3, '3'},          {KEY_4, '4'},
    {KEY_5, '5'},         {KEY_6, '6'},           {KEY_7, '7'},     {KEY_8, '8'},          {KEY_9, '9'},
    {KEY_0, '0'},         {KEY_MINUS, '-'},       {KEY_EQUAL, '='}, {KEY_LEFTBRACE, '['},  {KEY_RIGHTBRACE, ']'},
    {KEY_SEMICOLON, ';'}, {KEY_APOSTROPHE, '\''}, {KEY_GRAVE, '`'}, {KEY_BACKSLASH, '\\'}, {KEY_COMMA, ','},
    {KEY_DOT, '.'},       {KEY_SLASH, '/'},
};

std::optional<char> characterOf(std::uint16_t evdevCode)
{
    for (const auto& [code, character] : kCharacterKeys)
        if (code == evdevCode) return character;
    return std::nullopt;
}

// Says once per character that no key of the layout types it.
void reportUnplaced(char character)
{
    static std::mutex mutex;
    static std::set<char> reported;
    std::lock_guard lock(mutex);
    if (!reported.insert(character).second) return;
    log.warning("No key types this character in the current keyboard layout; the key at its usual place is used ->",
                std::string(1, character));
}

// The stroke on the key that types its character in the layout.
void placeByLayout(EvdevStroke& stroke, LayoutKeyLocator& layout)
{
    const auto character = characterOf(stroke.code);
    if (!character) return;
    if (const auto key = layout.keyTyping(static_cast<char32_t>(*character))) {
        stroke.code = *key;
        return;
    }
    // Ctrl+[ is Escape to every terminal and to Emacs; where no key types "[" by itself (a German keyboard
    // has it on AltGr+8), Escape says the same.
    if (*character == '[' && (stroke.modifiers & EvdevStroke::ctrl)) {
        stroke.code = KEY_ESC;
        stroke.modifiers &= static_cast<std::uint8_t>(~EvdevStroke::ctrl);
        return;
    }
    reportUnplaced(*character);
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

std::optional<std::vector<EvdevStroke>> PostingTranslator::translate(const KeyEvent& event, bool terminalLike,
                                                                     LayoutKeyLocator* layout)
{
    return translate(event, terminalLike ? std::optional(TerminalClipboardKeys::ctrlShift) : std::nullopt, layout);
}

std::optional<std::vector<EvdevStroke>> PostingTranslator::translate(const KeyEvent& event,
                                                                     std::optional<TerminalClipboardKeys> terminalLike,
                                                                     LayoutKeyLocator* layout)
{
    if (VirtualKeyCode::isModifier(event.keyCode)) {
        // Its press and release are carried by the flags of the key it accompanies.
        if (!KeyCodeTable::evdevCode(event.keyCode)) return std::nullopt;
        return std::vector<EvdevStroke>{};
    }
    const Idiom* idiom = findIdiom(event, terminalLike);
    if (!idiom) {
        auto strokes = translateRecorded(event);
        if (strokes && layout)
            for (auto& stroke : *strokes) placeByLayout(stroke, *layout);
        return strokes;
    }

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
    if (layout) placeByLayout(strokes.back(), *layout);
    return strokes;
}

bool PostingTranslator::dependsOnTerminal(const KeyEvent& event)
{
    const Idiom* normal = findIdiom(event, std::nullopt);
    for (const auto keys :
         {TerminalClipboardKeys::ctrlShift, TerminalClipboardKeys::ctrlAlt, TerminalClipboardKeys::selection})
        if (findIdiom(event, keys) != normal) return true;
    return false;
}

}  // namespace vandrel
