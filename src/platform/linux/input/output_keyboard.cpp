#include "platform/linux/input/output_keyboard.h"

#include <unistd.h>

#include <cerrno>

namespace vandrel {

OutputKeyboard::OutputKeyboard(std::unique_ptr<InputOutputDevice> device)
    : device_(std::move(device)), writer_(device_->fd())
{
}

bool OutputKeyboard::flush(rx::TimePoint now, bool everything)
{
    if (broken()) return false;
    // Posted strokes may have changed the modifiers: the stroke's go up, the user's come back unless a hold keeps
    // them back.
    writer_.restoreModifiers();
    if (everything ? writer_.flushAll() : writer_.flush(now)) return true;
    broken_.store(true);
    return false;
}

int OutputKeyboard::timeoutMs(int timeoutMs, rx::TimePoint now) const
{
    if (!hasPending()) return timeoutMs;
    const rx::TimePoint due = writer_.nextStrokeAt();
    const int ms = due <= now ? 0 : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
    return timeoutMs < 0 ? ms : std::min(ms, timeoutMs);
}

OutputKeyboard::Lights OutputKeyboard::readLights()
{
    input_event events[64];
    const ssize_t n = ::read(fd(), events, sizeof events);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return Lights::gone;
    if (n < 0) return Lights::unchanged;
    bool changed = false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof(input_event); ++i) {
        const auto& ev = events[i];
        if (ev.type != EV_LED || ev.code > LED_SCROLLL) continue;
        if (!lights_) lights_.emplace();
        (*lights_)[ev.code] = ev.value;
        changed = true;
        if (ev.code == LED_CAPSL) capsLight_.store(ev.value != 0 ? 1 : 0);
    }
    return changed ? Lights::changed : Lights::unchanged;
}

std::optional<bool> OutputKeyboard::capsLockLight() const
{
    const int light = capsLight_.load();
    if (light < 0) return std::nullopt;
    return light == 1;
}

}  // namespace vandrel
