// A version number of up to four numeric parts and a release stage, as in "1.2.3b".
//
// vers[0..3] hold the parts, vers[4] the stage: 10 alpha ("a"), 30 beta ("b"), 50 release candidate
// ("rc"), 70 release. Parsing never fails; parts it cannot read stay 0.
// JSON: written as {"vers":[1,2,3,0,30]}; read from a version text ("1.2.3b") or from that object form.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>

#include "core/jsonable.h"

namespace vandrel {

class VDVersion : public Jsonable<VDVersion> {
public:
    static constexpr std::int64_t alpha = 10;
    static constexpr std::int64_t beta = 30;
    static constexpr std::int64_t releaseCandidate = 50;
    static constexpr std::int64_t release = 70;

    VDVersion() = default;
    explicit VDVersion(std::string_view text);

    std::array<std::int64_t, 5> vers{};

    // "1.2.3.0b": always four numbers, then the stage suffix.
    std::string toString() const;
    // "VDVersion(1.2.3.0b)"
    std::string debugDescription() const;

    bool operator==(const VDVersion&) const = default;
    // Part by part, then the stage: 1.2.0a < 1.2.0b < 1.2.0rc < 1.2.0 < 1.2.1a.
    std::strong_ordering operator<=>(const VDVersion& other) const { return vers <=> other.vers; }
};

std::ostream& operator<<(std::ostream& os, const VDVersion& version);

void to_json(nlohmann::json& json, const VDVersion& version);
// Throws nlohmann's type_error for anything but a version text or the {"vers":[...]} form.
void from_json(const nlohmann::json& json, VDVersion& version);

}  // namespace vandrel
