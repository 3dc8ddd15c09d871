// What a posted key event becomes on the Linux output keyboard. Posted events carry macOS-style editing
// idioms (the built-in actions post Command+Left to reach the line start, Command+C to copy ...); this
// table turns them into the strokes Linux applications understand (Home, Ctrl+C, in a terminal its own
// copy key ...). A key the user recorded is posted as recorded instead.
//
// A stroke whose meaning is a character (copy is Ctrl+C, the Emacs-style strokes Ctrl+[ and letters) goes on
// the key that types that character in the session's layout, as applications read shortcuts by character;
// only where no key types it, on the key's usual position. Movement and editing keys (arrows, Home, Backspace
// ...) are the same keys in every layout. Recorded keys keep their position.
//
// A posted event names its modifiers in its flags; the modifier key events that accompany it (Command down
// before, up after) only repeat them, so in idiom translation a posted lone modifier key writes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/key_event.h"
#include "platform/linux/input/layout_key_locator.h"
#include "platform/terminal_applications.h"

namespace vandrel {

// One key event to write, with exactly the modifiers that must be down while it is written.
struct EvdevStroke {
    static constexpr std::uint8_t shift = 1;
    static constexpr std::uint8_t ctrl = 2;
    static constexpr std::uint8_t alt = 4;
    static constexpr std::uint8_t meta = 8;

    std::uint16_t code = 0;  // evdev KEY_*
    bool down = true;
    std::uint8_t modifiers = 0;

    bool operator==(const EvdevStroke&) const = default;
};

class PostingTranslator {
public:
    // Strokes for a posted event of the built-in actions, their character keys placed by the layout (null:
    // by position). Empty when nothing is to be written (a lone modifier key, an idiom with no safe Linux
    // counterpart); absent when the key has no Linux key.
    static std::optional<std::vector<EvdevStroke>> translate(const KeyEvent& event,
                                                             std::optional<TerminalClipboardKeys> terminal,
                                                             LayoutKeyLocator* layout = nullptr);
    // The same, a terminal-like application taken to use Ctrl+Shift+C/V.
    static std::optional<std::vector<EvdevStroke>> translate(const KeyEvent& event, bool terminalLike,
                                                             LayoutKeyLocator* layout = nullptr);

    // Strokes for a key posted as the user recorded it: the key itself with its modifiers mapped one to
    // one (Command is Super, Option is Alt). Absent when the key has no Linux key.
    static std::optional<std::vector<EvdevStroke>> translateRecorded(const KeyEvent& event);

    // Whether translate() gives a different answer in a terminal-like application, so the poster asks
    // for the frontmost application only when it matters.
    static bool dependsOnTerminal(const KeyEvent& event);

    // The stroke modifiers one to one from event flags.
    static std::uint8_t strokeModifiers(std::uint64_t flags);
};

}  // namespace vandrel
