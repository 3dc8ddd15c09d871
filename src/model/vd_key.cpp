#include "model/vd_key.h"

#include <limits>

#include "core/json_limits.h"
#include "core/localize.h"
#include "core/log.h"
#include "model/vd_keycode.h"
#include "platform/platform.h"

namespace vandrel {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

VDKey::VDKey(int keycode, ModifierSet modifiers, std::int64_t keybit)
    : keycode_(keycode), modifiers_(std::move(modifiers)), keybit_(keybit)
{
}

VDKey::VDKey(int keycode, ModifierSet modifiers) : keycode_(keycode), modifiers_(std::move(modifiers))
{
    keybit_ = KeyKit::makekeybitFrom(keycode_, modifiers_);
}

VDKey VDKey::fromKeybit(std::int64_t keybit)
{
    auto parts = KeyKit::makeKeycodeAndModifiersFrom(keybit);
    return VDKey(parts.keycode, std::move(parts.modifiers), keybit);
}

VDKey::VDKey(const KeyEvent& event) : keycode_(event.keyCode)
{
    if (event.flags & EventFlags::maskAlphaShift) modifiers_.insert(57);
    if (event.flags & EventFlags::maskCommand) modifiers_.insert(55);
    if (event.flags & EventFlags::maskAlternate) modifiers_.insert(58);
    if (event.flags & EventFlags::maskControl) modifiers_.insert(59);
    if (event.flags & EventFlags::maskShift) modifiers_.insert(56);
    keybit_ = KeyKit::makekeybitFrom(keycode_, modifiers_);
}

VDKey::VDKey(const VDKey& other)
    : keycode_(other.keycode_),
      modifiers_(other.modifiers_),
      keybit_(other.keybit_),
      tapLocation_(other.tapLocation_),
      texts_(other.texts_.load())
{
}

VDKey& VDKey::operator=(const VDKey& other)
{
    if (this == &other) return *this;
    keycode_ = other.keycode_;
    modifiers_ = other.modifiers_;
    keybit_ = other.keybit_;
    tapLocation_ = other.tapLocation_;
    texts_.store(other.texts_.load());
    return *this;
}

std::string VDKey::id() const
{
    static constexpr char digits[] = "0123456789abcdef";
    std::uint64_t magnitude =
        keybit_ < 0 ? std::uint64_t(0) - static_cast<std::uint64_t>(keybit_) : static_cast<std::uint64_t>(keybit_);
    std::string out;
    do {
        out.insert(out.begin(), digits[magnitude & 0xF]);
        magnitude >>= 4;
    } while (magnitude != 0);
    if (keybit_ < 0) out.insert(out.begin(), '-');
    return out;
}

std::shared_ptr<const VDKey::Texts> VDKey::texts() const
{
    if (auto cached = texts_.load(std::memory_order_acquire)) return cached;
    auto t = std::make_shared<Texts>();
    if (keycode_ >= 0 && keycode_ <= 0xFFFF) {
        t->keyName = KeyKit::getKeyNameFromKeyCode(static_cast<std::uint16_t>(keycode_));
        t->keyChar = KeyKit::getCharFromKeyCode(static_cast<std::uint16_t>(keycode_));
    }
    if (keybit_ == tapCapslock().keybit_)
        t->modifiersString = localized("_tap_a_key");
    else if (keybit_ == pressCapslock().keybit_)
        t->modifiersString = localized("_press_a_key");
    else
        t->modifiersString = KeyKit::modifiersToString(modifiers_);
    t->keyNameWithModifiers = t->modifiersString + t->keyName;
    t->keyCharWithModifiers = t->modifiersString + t->keyChar;
    // Two threads may both compute; the first stored copy wins and the texts are the same anyway.
    std::shared_ptr<const Texts> expected;
    std::shared_ptr<const Texts> built = std::move(t);
    if (texts_.compare_exchange_strong(expected, built, std::memory_order_acq_rel)) return built;
    return expected;
}

void VDKey::keyAct(bool isDown) const
{
    if (keycode_ < 0 || keycode_ > 0xFFFF) {
        log.error("Create keyEvent fail!", keycode_);
        return;
    }
    auto platform = Platform::shared();
    if (!platform) {
        log.error("Create keyEvent fail!", "no platform installed");
        return;
    }
    KeyEvent event;
    event.type = isDown ? KeyEventType::keyDown : KeyEventType::keyUp;
    event.keyCode = static_cast<std::uint16_t>(keycode_);
    if (modifiers_.count(55)) event.flags |= EventFlags::maskCommand;
    if (modifiers_.count(56)) event.flags |= EventFlags::maskShift;
    if (modifiers_.count(58)) event.flags |= EventFlags::maskAlternate;
    if (modifiers_.count(59)) event.flags |= EventFlags::maskControl;
    if (!platform->eventTaps().postEvent(event, tapLocation_)) log.error("Create keyEvent fail!", keycode_);
}

void VDKey::doWhileModifiersPressing(const ModifierSet& modifiers, const std::function<void()>& actualKeyAct,
                                     bool isKeepHoldingAfterActionDone)
{
    std::vector<const VDKey*> keys;
    for (int code : modifiers) {
        switch (code) {
            case 56:
                keys.push_back(&shiftKey());
                break;
            case 58:
                keys.push_back(&optionKey());
                break;
            case 59:
                keys.push_back(&ctrlKey());
                break;
            default:
                keys.push_back(&cmdKey());
                break;
        }
    }
    for (const auto* key : keys) key->keyAct(true);
    if (actualKeyAct) actualKeyAct();
    if (isKeepHoldingAfterActionDone) return;
    for (const auto* key : keys) key->keyAct(false);
}

const VDKey& VDKey::shiftKey()
{
    static const VDKey key(56, {});
    return key;
}

const VDKey& VDKey::ctrlKey()
{
    static const VDKey key(59, {});
    return key;
}

const VDKey& VDKey::optionKey()
{
    static const VDKey key(58, {});
    return key;
}

const VDKey& VDKey::cmdKey()
{
    static const VDKey key(55, {});
    return key;
}

const VDKey& VDKey::tapCapslock()
{
    static const VDKey key(57, {});
    return key;
}

const VDKey& VDKey::pressCapslock()
{
    static const VDKey key(VDKeycode::capslockPress, {});
    return key;
}

nlohmann::ordered_json VDKey::toJson() const
{
    return nlohmann::ordered_json{{"id", id()}};
}

DecodeResult<VDKey> VDKey::fromJson(const nlohmann::ordered_json& json)
{
    if (!json.is_object()) return DecodeError{"key: expected an object"};
    auto it = json.find("id");
    if (it == json.end()) return DecodeError{"key: missing \"id\""};
    if (!it->is_string()) return DecodeError{"key: \"id\" is not text"};
    auto keybit = keybitFromId(it->get_ref<const std::string&>());
    if (!keybit) return DecodeError{keybit.error()};
    return fromKeybit(keybit.value());
}

DecodeResult<std::int64_t> VDKey::keybitFromId(std::string_view id)
{
    std::size_t i = 0;
    while (i < id.size() && isBlank(id[i])) ++i;
    if (i < id.size() && id[i] == '-') return DecodeError{"key id \"" + excerpt(id) + "\" is negative"};
    if (i < id.size() && id[i] == '+') ++i;
    if (i + 2 < id.size() && id[i] == '0' && (id[i + 1] == 'x' || id[i + 1] == 'X') && hexDigit(id[i + 2]) >= 0) i += 2;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t value = 0;
    for (; i < id.size(); ++i) {
        const int d = hexDigit(id[i]);
        if (d < 0) break;
        if (value > (kMax - static_cast<std::uint64_t>(d)) / 16)
            return DecodeError{"key id \"" + excerpt(id) + "\" does not fit a keybit"};
        value = value * 16 + static_cast<std::uint64_t>(d);
    }
    return static_cast<std::int64_t>(value);
}

}  // namespace vandrel
