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

}  // namespace

UinputWriter::UinputWriter(int fd) : fd_(fd)
{
    buffer_.reserve(32);
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
    if (value == 1)
        down_.set(code);
    else if (value == 0)
        down_.reset(code);
}

void UinputWriter::appendSync()
{
    append(EV_SYN, SYN_REPORT, 0);
}

bool UinputWriter::flush()
{
    if (buffer_.empty()) return !failed_;
    const auto* data = reinterpret_cast<const char*>(buffer_.data());
    std::size_t left = buffer_.size() * sizeof(input_event);
    buffer_.clear();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
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
                const bool want = userCount_[code] > 0;
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
    if (!down_[code]) {
        appendKey(code, 1);
        appendSync();
    }
}

void UinputWriter::userRelease(std::uint16_t code)
{
    if (code >= KEY_CNT || userCount_[code] == 0) return;
    appendModifierRestore();
    if (--userCount_[code] == 0 && down_[code]) {
        appendKey(code, 0);
        appendSync();
    }
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

void UinputWriter::postStroke(const EvdevStroke& stroke)
{
    if (stroke.code >= KEY_CNT) return;
    const bool isModifier = std::any_of(std::begin(kModifiers), std::end(kModifiers),
                                        [&](const auto& m) { return stroke.code == m.left || stroke.code == m.right; });
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
    bool changed = false;
    for (const auto& m : kModifiers) {
        if (stroke.code == m.left || stroke.code == m.right || (stroke.modifiers & m.bit)) continue;
        for (std::uint16_t code : {m.left, m.right}) {
            if (down_[code]) {
                appendKey(code, 0);
                changed = true;
            }
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
        for (const auto& m : kModifiers)
            if (stroke.code == m.left || stroke.code == m.right) modifiersDirty_ = true;
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

}  // namespace vandrel
