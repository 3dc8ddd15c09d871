// A key of the program: one virtual key code and the modifier keys held with it, packed into a keybit and
// identified everywhere by its key id, the keybit in lower-case hexadecimal ({"id": "100024"} is
// Command+Return). A key can post itself as synthetic key events.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>

#include "model/decode_result.h"
#include "model/key_kit.h"
#include "platform/event_tap.h"
#include "platform/key_event.h"

namespace vandrel {

class VDKey {
public:
    VDKey(int keycode, ModifierSet modifiers);
    // Key code and modifiers from the keybit, which stays as given (bits outside the layout included).
    static VDKey fromKeybit(std::int64_t keybit);
    // Key code of the event and the modifiers of its flags.
    explicit VDKey(const KeyEvent& event);

    VDKey(const VDKey& other);
    VDKey& operator=(const VDKey& other);

    int keycode() const { return keycode_; }
    const ModifierSet& modifiers() const { return modifiers_; }
    std::int64_t keybit() const { return keybit_; }

    std::string id() const;
    // Texts computed on first use and kept (a letter's text follows the keyboard layout of that moment).
    // Safe to read from several threads. What the user reads is the notation of KeyKit: modifiersString
    // ("Shift+Caps Lock+", or the text for the two Caps pseudo keys), keyChar (",", "Return") and both
    // together, keyCharWithModifiers. The key's name form (keyName, keyNameWithModifiers) is for the log.
    std::string keyName() const { return texts()->keyName; }
    std::string keyChar() const { return texts()->keyChar; }
    std::string modifiersString() const { return texts()->modifiersString; }
    std::string keyNameWithModifiers() const { return texts()->keyNameWithModifiers; }
    std::string keyCharWithModifiers() const { return texts()->keyCharWithModifiers; }
    std::string description() const { return keyNameWithModifiers(); }

    EventTapLocation tapLocation() const { return tapLocation_; }
    void setTapLocation(EventTapLocation location) { tapLocation_ = location; }

    // Posts one key-down or key-up of this key through the installed platform, carrying exactly the flags
    // of the key's own modifiers (Caps Lock adds none).
    void keyAct(bool isDown) const;
    // Holds the modifier keys of the set (Shift, Option, Control; any other code holds Command) down around
    // actualKeyAct, pressing them in the set's order and, unless told to keep them held, releasing them in
    // the same order.
    static void doWhileModifiersPressing(const ModifierSet& modifiers, const std::function<void()>& actualKeyAct,
                                         bool isKeepHoldingAfterActionDone);

    static const VDKey& shiftKey();
    static const VDKey& ctrlKey();
    static const VDKey& optionKey();
    static const VDKey& cmdKey();
    // A short tap of Caps Lock alone.
    static const VDKey& tapCapslock();
    // Caps Lock held.
    static const VDKey& pressCapslock();

    nlohmann::ordered_json toJson() const;
    // Fails when "id" is missing, not text, negative or beyond a signed 64-bit keybit; any other text
    // parses as hexadecimal up to its first non-digit (no digit gives keybit 0).
    static DecodeResult<VDKey> fromJson(const nlohmann::ordered_json& json);
    static DecodeResult<std::int64_t> keybitFromId(std::string_view id);

    bool operator==(const VDKey& other) const { return keybit_ == other.keybit_; }

private:
    struct Texts {
        std::string keyName;
        std::string keyChar;
        std::string modifiersString;
        std::string keyNameWithModifiers;
        std::string keyCharWithModifiers;
    };
    VDKey(int keycode, ModifierSet modifiers, std::int64_t keybit);
    std::shared_ptr<const Texts> texts() const;

    int keycode_;
    ModifierSet modifiers_;
    std::int64_t keybit_;
    EventTapLocation tapLocation_ = EventTapLocation::session;
    mutable std::atomic<std::shared_ptr<const Texts>> texts_;
};

inline std::ostream& operator<<(std::ostream& os, const VDKey& key)
{
    return os << key.description();
}

}  // namespace vandrel

template <>
struct std::hash<vandrel::VDKey> {
    std::size_t operator()(const vandrel::VDKey& key) const noexcept { return static_cast<std::size_t>(key.keybit()); }
};
