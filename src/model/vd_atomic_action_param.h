// One parameter of an action step: a repetition count, a key id, a window-binding slot or key pair, a time
// interval, several parameters given as one, or none. Stored in key schemes as a one-member JSON object
// named after the case: {"times": 3}, {"keyId": "100024"}, {"windowBindingId": 2},
// {"windowBindingKeys": {"bind": ..., "activate": ...}}, {"interval": 0.5}, {"multiple": [...]},
// {"none": null}.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "model/decode_result.h"
#include "model/hasher.h"
#include "model/window_binding_keys.h"

namespace vandrel {

class VDAtomicActionParam {
public:
    enum class Case { times, keyId, windowBindingId, windowBindingKeys, interval, multiple, none };

    VDAtomicActionParam() = default;  // none
    static VDAtomicActionParam times(std::int64_t count);
    static VDAtomicActionParam keyId(std::string id);
    static VDAtomicActionParam windowBindingId(std::int64_t slot);
    static VDAtomicActionParam windowBindingKeys(WindowBindingKeys keys);
    static VDAtomicActionParam interval(double value);
    static VDAtomicActionParam multiple(std::vector<VDAtomicActionParam> params);
    static VDAtomicActionParam none() { return {}; }

    Case kind() const { return static_cast<Case>(value_.index()); }
    // The associated value when the parameter is of that case.
    std::optional<std::int64_t> timesValue() const;
    std::optional<std::string> keyIdValue() const;
    std::optional<std::int64_t> windowBindingIdValue() const;
    std::optional<WindowBindingKeys> windowBindingKeysValue() const;
    std::optional<double> intervalValue() const;
    std::optional<std::vector<VDAtomicActionParam>> multipleValue() const;

    nlohmann::ordered_json toJson() const;
    // Takes the first of "times", "keyId", "windowBindingId", "windowBindingKeys", "interval", "multiple"
    // present with a non-null value; none of them gives none. A member of the wrong type fails.
    static DecodeResult<VDAtomicActionParam> fromJson(const nlohmann::ordered_json& json);
    static nlohmann::ordered_json sequenceToJson(const std::vector<VDAtomicActionParam>& params);
    static DecodeResult<std::vector<VDAtomicActionParam>> sequenceFromJson(const nlohmann::ordered_json& json);

    // The texts the parameter feeds a hasher: "times:3", "keyId:39", "windowBindingId:2",
    // "windowBindingKeys:<pair>", "interval:0.5", "none"; a multiple feeds those of its elements in order.
    std::vector<std::string> hashTexts() const;
    void hash(Hasher& hasher) const;
    std::uint64_t hashValue() const;

    // Compares the values themselves, so times(3) differs from multiple([times(3)]) although their hashes
    // agree.
    bool operator==(const VDAtomicActionParam& other) const = default;

    std::string description() const;

private:
    struct Times {
        std::int64_t value;
        bool operator==(const Times&) const = default;
    };
    struct KeyId {
        std::string value;
        bool operator==(const KeyId&) const = default;
    };
    struct WindowBindingId {
        std::int64_t value;
        bool operator==(const WindowBindingId&) const = default;
    };
    struct Interval {
        double value;
        bool operator==(const Interval&) const = default;
    };
    struct Multiple {
        std::vector<VDAtomicActionParam> value;
        bool operator==(const Multiple&) const;
    };
    struct None {
        bool operator==(const None&) const = default;
    };
    using Value = std::variant<Times, KeyId, WindowBindingId, WindowBindingKeys, Interval, Multiple, None>;

    explicit VDAtomicActionParam(Value v) : value_(std::move(v)) {}
    static DecodeResult<VDAtomicActionParam> decode(const nlohmann::ordered_json& json, int depth);
    void appendHashTexts(std::vector<std::string>& out) const;

    Value value_ = None{};
};

inline std::ostream& operator<<(std::ostream& os, const VDAtomicActionParam& p)
{
    return os << p.description();
}

// The text of a double that reads back as the same value, as the parameter's hash and description show it:
// "0.5", "1.0", "1e-05", "1e+16".
std::string shortestDoubleText(double value);

}  // namespace vandrel

template <>
struct std::hash<vandrel::VDAtomicActionParam> {
    std::size_t operator()(const vandrel::VDAtomicActionParam& p) const noexcept
    {
        return static_cast<std::size_t>(p.hashValue());
    }
};
