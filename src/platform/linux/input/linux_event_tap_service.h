// Event taps and posting of the Linux backend, over the input backend. Posted events of the built-in
// actions are translated from their editing idioms to Linux ones (see PostingTranslator), with the
// frontmost application's terminal-likeness asked only when the stroke differs there; postRecordedEvent
// writes a key exactly as the user recorded it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/event_tap.h"
#include "platform/linux/input/input_backend.h"
#include "platform/linux/input/layout_key_locator.h"
#include "platform/terminal_applications.h"

namespace vandrel {

class LinuxEventTapService final : public EventTapService {
public:
    // isTerminalLike tells whether the frontmost application is terminal-like; null means never. layout
    // places character strokes on the keys that type their characters; null: on their US positions.
    LinuxEventTapService(std::shared_ptr<InputBackend> backend, std::function<bool()> isTerminalLike,
                         std::shared_ptr<LayoutKeyLocator> layout = nullptr);

    std::shared_ptr<EventTap> createTap(KeyEventType type, TapCallback callback,
                                        TapPlacement placement = TapPlacement::headInsert) override;
    bool postEvent(const KeyEvent& event, EventTapLocation location = EventTapLocation::session) override;
    // A key the user recorded: its own key code and modifiers, without idiom translation.
    bool postRecordedEvent(const KeyEvent& event, EventTapLocation location = EventTapLocation::session);
    std::shared_ptr<OrderBarrier> openOrderBarrier() override { return backend_->openOrderBarrier(); }
    // Which clipboard keys the frontmost terminal-like application has; unset: Ctrl+Shift+C/V. Before use.
    void setTerminalClipboardKeys(std::function<TerminalClipboardKeys()> keysOfFrontmost)
    {
        keysOfFrontmost_ = std::move(keysOfFrontmost);
    }

private:
    bool post(const KeyEvent& event, EventTapLocation location, bool recorded);

    const std::shared_ptr<InputBackend> backend_;
    const std::function<bool()> isTerminalLike_;
    std::function<TerminalClipboardKeys()> keysOfFrontmost_;
    const std::shared_ptr<LayoutKeyLocator> layout_;
    std::mutex mutex_;
    // For a posted key-down that translates differently in terminals, the answer it got: its key-up must
    // release the same keys even if the frontmost application changed meanwhile.
    std::map<std::uint16_t, std::optional<TerminalClipboardKeys>> terminalAtPress_;
};

}  // namespace vandrel
