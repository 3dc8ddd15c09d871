#include "platform/linux/input/linux_event_tap_service.h"

#include "core/log.h"
#include "platform/linux/input/posting_translator.h"

namespace vandrel {

LinuxEventTapService::LinuxEventTapService(std::shared_ptr<InputBackend> backend, std::function<bool()> isTerminalLike,
                                           std::shared_ptr<LayoutKeyLocator> layout)
    : backend_(std::move(backend)), isTerminalLike_(std::move(isTerminalLike)), layout_(std::move(layout))
{
}

std::shared_ptr<EventTap> LinuxEventTapService::createTap(KeyEventType type, TapCallback callback,
                                                          TapPlacement placement)
{
    if (!backend_->start()) {
        log.error("An event tap cannot be made: there is no virtual keyboard to pass events to");
        return nullptr;
    }
    return backend_->createTap(type, std::move(callback), placement);
}

bool LinuxEventTapService::postEvent(const KeyEvent& event, EventTapLocation location)
{
    return post(event, location, false);
}

bool LinuxEventTapService::postRecordedEvent(const KeyEvent& event, EventTapLocation location)
{
    return post(event, location, true);
}

bool LinuxEventTapService::post(const KeyEvent& event, EventTapLocation location, bool recorded)
{
    if (!backend_->start()) return false;
    if (location == EventTapLocation::hid) return backend_->postAtHidLocation(event);

    std::optional<std::vector<EvdevStroke>> strokes;
    if (recorded) {
        strokes = PostingTranslator::translateRecorded(event);
    } else {
        std::optional<TerminalClipboardKeys> terminal;
        auto frontmost = [this]() -> std::optional<TerminalClipboardKeys> {
            if (!isTerminalLike_ || !isTerminalLike_()) return std::nullopt;
            return keysOfFrontmost_ ? keysOfFrontmost_() : TerminalClipboardKeys::ctrlShift;
        };
        if (PostingTranslator::dependsOnTerminal(event)) {
            std::lock_guard lock(mutex_);
            if (event.type == KeyEventType::keyUp) {
                if (auto it = terminalAtPress_.find(event.keyCode); it != terminalAtPress_.end()) {
                    terminal = it->second;
                    terminalAtPress_.erase(it);
                } else {
                    terminal = frontmost();
                }
            } else {
                terminal = frontmost();
                terminalAtPress_[event.keyCode] = terminal;
            }
        }
        strokes = PostingTranslator::translate(event, terminal, layout_.get());
    }
    if (!strokes) {
        log.error("A posted key has no Linux key ->", event.keyCode);
        return false;
    }
    if (strokes->empty()) return true;
    return backend_->post(std::move(*strokes));
}

}  // namespace vandrel
