#include "platform/linux/input/uinput_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vandrel {

namespace {

struct ModifierPair {
    std::uint8_t bit;
    std::uint16_t left;
    std::uint16_t right;
};

constexpr ModifierPair kModifiers[] = {
    {EvdevStroke::shift, KEY_LEFTSHIFT, KEY_RIGHTSHIFT},
    {EvdevStroke::ctrl, KEY_LEFTCTRL, KEY_RIGHTCTRL},
    {EvdevStroke::alt, KEY_LEFTALT, KEY_RIGHTALT},
    {EvdevStroke::meta, KEY_LEFTMETA, KEY_RIGHTMETA},
};

constexpr bool isModifierCode(std::uint16_t code)
{
    return std::any_of(std::begin(kModifiers), std::end(kModifiers),
                       [code](const auto& m) { return code == m.left || code == m.right; });
}

// Room for a long action and what is typed behind it, so the queue does not grow on the key path.
constexpr std::size_t kQueueCapacity = 1024;

}  // namespace

UinputWriter::UinputWriter(int fd) : fd_(fd)
{
    buffer_.reserve(kQueueCapacity);
}

void UinputWriter::append(std::uint16_t type, std::uint16_t code, std::int32_t value)
{
    input_event ev{};
    ev.type = type;
    ev.code = code;
    ev.value = value;
    buffer_.push_back(ev);
}

void UinputWriter::appendKey(std::uint16_t code, std::int32_t value)
{
    append(EV_KEY, code, value);
    if (value == 1) {
        down_.set(code);
        // Any key pressed comes between the modifiers down and their release.
        alone_.reset();
        interrupted_.reset(code);
        if (isModifierCode(code)) alone_.set(code);
    } else if (value == 0) {
        down_.reset(code);
        alone_.reset(code);
        interrupted_.reset(code);
    }
}

void UinputWriter::appendSync()
{
    append(EV_SYN, SYN_REPORT, 0);
}

void UinputWriter::appendGuardTap()
{
    appendKey(guardKey, 1);
    appendSync();
    appendKey(guardKey, 0);
    appendSync();
}

void UinputWriter::appendModifierRestore()
{
    if (!modifiersDirty_) return;
    modifiersDirty_ = false;
    bool changed = false;
    // Releases before presses, so no moment shows both the stroke's modifiers and the user's.
    for (const bool press : {false, true}) {
        for (const auto& m : kModifiers) {
            for (std::uint16_t code : {m.left, m.right}) {
                const bool want = userCount_[code] > 0 && !lifted_[code];
                if (want == press && want != down_[code]) {
                    appendKey(code, want ? 1 : 0);
                    changed = true;
                }
            }
        }
    }
    if (changed) appendSync();
}

void UinputWriter::userPress(std::uint16_t code)
{
    if (code >= KEY_CNT) return;
    appendModifierRestore();
    if (userCount_[code] < 255) ++userCount_[code];
    // Pressed again: from now on it is the user's modifier again.
    lifted_.reset(code);
    if (!down_[code]) {
        appendKey(code, 1);
        appendSync();
    }
}

void UinputWriter::userRelease(std::uint16_t code)
{
    if (code >= KEY_CNT || userCount_[code] == 0) return;
    appendModifierRestore();
    if (--userCount_[code] != 0) return;
    if (lifted_[code]) {
        // Already up on the output since a stroke lifted it: its release would make a lone tap.
        lifted_.reset(code);
        return;
    }
    if (!down_[code]) return;
    if (isModifierCode(code) && alone_[code] && interrupted_[code]) appendGuardTap();
    appendKey(code, 0);
    appendSync();
}

void UinputWriter::userRepeat(std::uint16_t code)
{
    if (code >= KEY_CNT) return;
    appendModifierRestore();
    if (down_[code] && userCount_[code] > 0) {
        appendKey(code, 2);
        appendSync();
    }
}

void UinputWriter::userEventSwallowed()
{
    interrupted_ |= alone_;
}

void UinputWriter::postStroke(const EvdevStroke& stroke)
{
    if (stroke.code >= KEY_CNT) return;
    const bool isModifier = isModifierCode(stroke.code);
    // A release needs no modifiers. Pressing them again only to release the key (the press went out in an
    // earlier batch, after which the user's modifiers were put back) shows applications a lone modifier tap,
    // which some take as a command of its own (a double Shift, a Ctrl tap).
    if (!stroke.down && !isModifier) {
        if (down_[stroke.code]) {
            appendKey(stroke.code, 0);
            appendSync();
        }
        return;
    }
    const auto lifts = [&](const ModifierPair& m) {
        return !(stroke.code == m.left || stroke.code == m.right || (stroke.modifiers & m.bit));
    };
    // One guard tap, before any modifier goes up, covers every modifier that would go up alone.
    bool guard = false;
    for (const auto& m : kModifiers)
        if (lifts(m)) guard = guard || alone_[m.left] || alone_[m.right];
    if (guard) appendGuardTap();
    bool changed = false;
    for (const auto& m : kModifiers) {
        if (!lifts(m)) continue;
        for (std::uint16_t code : {m.left, m.right}) {
            if (!down_[code]) continue;
            appendKey(code, 0);
            if (userCount_[code] > 0) lifted_.set(code);
            changed = true;
        }
    }
    for (const auto& m : kModifiers) {
        // The key itself, when it is a modifier, is written below.
        if (stroke.code == m.left || stroke.code == m.right || !(stroke.modifiers & m.bit)) continue;
        if (!down_[m.left] && !down_[m.right]) {
            appendKey(m.left, 1);
            changed = true;
        }
    }
    if (changed) {
        appendSync();
        modifiersDirty_ = true;
    }
    if (stroke.down || down_[stroke.code]) {
        appendKey(stroke.code, stroke.down ? 1 : 0);
        appendSync();
        if (isModifier) modifiersDirty_ = true;
    }
}

void UinputWriter::restoreModifiers()
{
    appendModifierRestore();
}

void UinputWriter::releaseAll()
{
    ++generation_;
    userCount_.fill(0);
    lifted_.reset();
    modifiersDirty_ = false;
    bool any = false;
    for (std::size_t code = 0; code < KEY_CNT; ++code) {
        if (down_[code]) {
            appendKey(static_cast<std::uint16_t>(code), 0);
            any = true;
        }
    }
    if (any) appendSync();
}

bool UinputWriter::writeEvents(std::size_t count)
{
    const auto* data = reinterpret_cast<const char*>(buffer_.data() + head_);
    std::size_t left = count * sizeof(input_event);
    head_ += count;
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            buffer_.clear();
            head_ = 0;
            heldBack_ = false;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    }
    return true;
}

bool UinputWriter::flush(rx::TimePoint now)
{
    if (heldBack_ && now > nextChunkAt() + 2 * chunkPause) {
        // Woken far later than the pause asked: this thread did not run, and most likely the reader did not
        // either (a stalled machine). It gets a pause to read the last chunk before the next one comes.
        recentHead_ = 0;
        recentSize_ = 1;
        recent_[0] = {now, chunkEvents};
        recentEvents_ = chunkEvents;
        return !failed_;
    }
    while (recentSize_ > 0 && recent_[recentHead_].at + chunkPause <= now) {
        recentEvents_ -= recent_[recentHead_].count;
        recentHead_ = (recentHead_ + 1) % recent_.size();
        --recentSize_;
    }
    while (hasPending() && recentEvents_ < chunkEvents && recentSize_ < recent_.size()) {
        const std::size_t budget = chunkEvents - recentEvents_;
        const std::size_t end = std::min(buffer_.size(), head_ + budget);
        // The chunk ends after a report, so a reader never waits a pause in the middle of one.
        std::size_t count = 0;
        for (std::size_t i = head_; i < end; ++i)
            if (buffer_[i].type == EV_SYN && buffer_[i].code == SYN_REPORT) count = i - head_ + 1;
        if (count == 0) {
            if (recentEvents_ != 0) break;
            // One report longer than a chunk: it goes whole.
            std::size_t i = head_;
            while (i < buffer_.size() && !(buffer_[i].type == EV_SYN && buffer_[i].code == SYN_REPORT)) ++i;
            count = std::min(buffer_.size(), i + 1) - head_;
        }
        if (!writeEvents(count)) return false;
        recent_[(recentHead_ + recentSize_) % recent_.size()] = {now, count};
        ++recentSize_;
        recentEvents_ += count;
    }
    heldBack_ = hasPending();
    return !failed_;
}

rx::TimePoint UinputWriter::nextChunkAt() const
{
    // The oldest write of the last pause leaves room when it ages out.
    return recentSize_ == 0 ? rx::TimePoint::min() : recent_[recentHead_].at + chunkPause;
}

bool UinputWriter::flushAll()
{
    if (!hasPending()) return !failed_;
    return writeEvents(buffer_.size() - head_);
}

}  // namespace vandrel
