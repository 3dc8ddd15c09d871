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

// A backlog is paced as strokes are: one stroke's worth of events a stroke interval.
constexpr std::size_t kEventsPerStroke = UinputWriter::maxEventsPerWrite / UinputWriter::burstStrokes;
constexpr rx::Duration kPerEvent = UinputWriter::strokeInterval / kEventsPerStroke;

}  // namespace

UinputWriter::UinputWriter(int fd) : fd_(fd)
{
    buffer_.reserve(kQueueCapacity);
    strokeStarts_.reserve(kQueueCapacity / 4);
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

void UinputWriter::appendModifierSync(bool withPresses)
{
    bool changed = false;
    // Releases before presses, so no moment shows both the stroke's modifiers and the user's.
    for (const bool press : {false, true}) {
        if (press && !withPresses) break;
        for (const auto& m : kModifiers) {
            for (std::uint16_t code : {m.left, m.right}) {
                const bool want = userCount_[code] > 0;
                if (want != press || want == down_[code]) continue;
                appendKey(code, want ? 1 : 0);
                // Put back by us: the user's release must not make it a lone tap.
                if (want) interrupted_.set(code);
                changed = true;
            }
        }
    }
    if (changed) appendSync();
}

void UinputWriter::putBackModifiers()
{
    if (!modifiersDirty_) return;
    modifiersDirty_ = false;
    appendModifierSync(true);
}

void UinputWriter::userPress(std::uint16_t code)
{
    if (code >= KEY_CNT) return;
    putBackModifiers();
    if (userCount_[code] < 255) ++userCount_[code];
    if (!down_[code]) {
        appendKey(code, 1);
        appendSync();
    }
}

void UinputWriter::userRelease(std::uint16_t code)
{
    if (code >= KEY_CNT || userCount_[code] == 0) return;
    if (--userCount_[code] != 0 || !down_[code]) return;
    if (isModifierCode(code) && alone_[code] && interrupted_[code]) appendGuardTap();
    appendKey(code, 0);
    appendSync();
}

void UinputWriter::userRepeat(std::uint16_t code)
{
    if (code >= KEY_CNT) return;
    putBackModifiers();
    if (down_[code] && userCount_[code] > 0) {
        appendKey(code, 2);
        appendSync();
    }
}

void UinputWriter::userHoldSwallowed(std::uint16_t code)
{
    if (code >= KEY_CNT) return;
    interrupted_ |= alone_;
    if (!isModifierCode(code)) {
        ++holds_;
        return;
    }
    if (userCount_[code] < 255) ++userCount_[code];
    if (!down_[code]) modifiersDirty_ = true;
}

void UinputWriter::userHoldEnded()
{
    if (holds_ > 0 && --holds_ == 0) putBackModifiers();
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
    // earlier batch, after which the modifiers were put back) shows applications a lone modifier tap, which
    // some take as a command of its own (a double Shift, a Ctrl tap).
    if (!stroke.down && !isModifier) {
        if (down_[stroke.code]) {
            appendKey(stroke.code, 0);
            appendSync();
        }
        return;
    }
    // A press begins a stroke, which the pacing counts; its modifiers go with it.
    if (!isModifier) strokeStarts_.push_back(buffer_.size());
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
    if (!modifiersDirty_) return;
    if (holds_ == 0) {
        putBackModifiers();
        return;
    }
    // Only the stroke's own modifiers go up; the user's wait for the end of the hold.
    appendModifierSync(false);
}

void UinputWriter::releaseAll()
{
    ++generation_;
    userCount_.fill(0);
    holds_ = 0;
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

void UinputWriter::clearQueue()
{
    buffer_.clear();
    head_ = 0;
    strokeStarts_.clear();
    strokeHead_ = 0;
}

bool UinputWriter::writeEvents(std::size_t count)
{
    const std::size_t from = head_;
    const auto* data = reinterpret_cast<const char*>(buffer_.data() + head_);
    std::size_t left = count * sizeof(input_event);
    head_ += count;
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            clearQueue();
            heldBack_ = false;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    noteWritten(from, head_);
    if (head_ == buffer_.size()) clearQueue();
    return true;
}

void UinputWriter::noteWritten(std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i) {
        const auto& ev = buffer_[i];
        if (ev.type != EV_KEY || ev.code >= KEY_CNT) continue;
        const std::uint64_t bit = std::uint64_t{1} << (ev.code % 64);
        if (ev.value == 0)
            written_[ev.code / 64].fetch_and(~bit, std::memory_order_relaxed);
        else
            written_[ev.code / 64].fetch_or(bit, std::memory_order_relaxed);
    }
}

bool UinputWriter::isWrittenDown(std::uint16_t code) const
{
    return code < KEY_CNT && (written_[code / 64].load(std::memory_order_relaxed) >> (code % 64)) & 1;
}

void UinputWriter::emergencyRelease()
{
    emergency_.store(true, std::memory_order_release);
    std::array<input_event, 2 * KEY_CNT> events{};
    std::size_t count = 0;
    for (std::size_t word = 0; word < written_.size(); ++word) {
        std::uint64_t bits = written_[word].exchange(0, std::memory_order_relaxed);
        for (; bits != 0; bits &= bits - 1) {
            auto& ev = events[count++];
            ev.type = EV_KEY;
            ev.code = static_cast<std::uint16_t>(word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits)));
            ev.value = 0;
            events[count++].type = EV_SYN;  // SYN_REPORT is 0
        }
    }
    // One write: the kernel takes it whole, between the input thread's writes.
    if (count > 0) [[maybe_unused]]
        auto r = ::write(fd_, events.data(), count * sizeof(input_event));
}

void UinputWriter::refill(rx::TimePoint now)
{
    if (now <= refilledAt_) return;
    if (tokens_ == burstStrokes) {  // full: nothing to count
        refilledAt_ = now;
        return;
    }
    const auto gained = static_cast<std::size_t>((now - refilledAt_) / strokeInterval);
    // A late wake-up while strokes wait: the reader most likely did not run either.
    const std::size_t cap = heldBack_ ? std::max(catchUpStrokes, tokens_) : burstStrokes;
    if (tokens_ + gained >= cap) {
        tokens_ = std::max(tokens_, cap);
        refilledAt_ = now;
    } else {
        tokens_ += gained;
        refilledAt_ += gained * strokeInterval;
    }
}

std::size_t UinputWriter::eventCap() const
{
    // As for strokes: a late wake-up while events wait earns no burst.
    return heldBack_ ? catchUpStrokes * kEventsPerStroke : maxEventsPerWrite;
}

void UinputWriter::refillEvents(rx::TimePoint now)
{
    if (now <= budgetAt_) return;
    if (eventBudget_ == maxEventsPerWrite) {  // full: nothing to count
        budgetAt_ = now;
        return;
    }
    const auto gained = static_cast<std::size_t>((now - budgetAt_) / kPerEvent);
    const std::size_t cap = std::max(eventCap(), eventBudget_);
    if (eventBudget_ + gained >= cap) {
        eventBudget_ = cap;
        budgetAt_ = now;
    } else {
        eventBudget_ += gained;
        budgetAt_ += gained * kPerEvent;
    }
}

std::size_t UinputWriter::budgetEnd() const
{
    if (buffer_.size() - head_ <= eventBudget_) return buffer_.size();
    std::size_t end = head_;
    for (std::size_t i = head_; i < buffer_.size(); ++i) {
        if (buffer_[i].type != EV_SYN) continue;
        if (i + 1 - head_ > eventBudget_) break;
        end = i + 1;
    }
    // A report longer than the budget can grow (every key let go at once) goes whole once the budget is full.
    if (end == head_ && eventBudget_ >= eventCap()) {
        while (end < buffer_.size() && buffer_[end].type != EV_SYN) ++end;
        end = std::min(end + 1, buffer_.size());
    }
    return end;
}

bool UinputWriter::flush(rx::TimePoint now)
{
    if (emergency_.load(std::memory_order_relaxed) && emergency_.exchange(false, std::memory_order_acquire))
        releaseAll();
    refill(now);
    refillEvents(now);
    std::size_t end = budgetEnd();
    const std::size_t byBudget = end;
    for (; strokeHead_ < strokeStarts_.size() && strokeStarts_[strokeHead_] < end; ++strokeHead_) {
        if (tokens_ == 0) {
            end = strokeStarts_[strokeHead_];
            break;
        }
        --tokens_;
    }
    const std::size_t count = end - head_;
    if (count > 0 && !writeEvents(count)) return false;
    eventBudget_ -= std::min(eventBudget_, count);
    heldBack_ = hasPending();
    // Held back by the strokes' pacing, or by the event budget, which is whole again a stroke interval on.
    nextWriteAt_ = end < byBudget ? refilledAt_ + strokeInterval : budgetAt_ + strokeInterval;
    return !failed_;
}

bool UinputWriter::flushAll()
{
    if (emergency_.load(std::memory_order_relaxed) && emergency_.exchange(false, std::memory_order_acquire))
        releaseAll();
    if (!hasPending()) return !failed_;
    return writeEvents(buffer_.size() - head_);
}

}  // namespace vandrel
