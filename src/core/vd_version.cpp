#include "core/vd_version.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/json_limits.h"
#include "core/log.h"

namespace vandrel {

namespace {

// A whole run of decimal digits that fits in 64 bits; anything else does not convert.
std::optional<std::int64_t> decimal(std::string_view text)
{
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The full pattern "^(\d+)\.?(\d+)?\.?(\d+)?\.?(\d+)?(a|b|rc)?$", matched in one pass: a first run of
// digits, three times an optional dot and an optional run, then an optional stage and the end. Taking each
// part as long as it goes is the pattern's own first match (digits and dots never compete), so "123" is one
// run and "1..2" puts 2 in the third slot.
struct PatternMatch {
    std::array<std::string_view, 4> runs;  // empty where a group took no part
    std::string_view stage;
};

std::optional<PatternMatch> matchPattern(std::string_view text)
{
    std::size_t at = 0;
    const auto digits = [&] {
        const std::size_t start = at;
        while (at < text.size() && isDigit(text[at])) ++at;
        return text.substr(start, at - start);
    };
    PatternMatch match;
    match.runs[0] = digits();
    if (match.runs[0].empty()) return std::nullopt;
    for (std::size_t group = 1; group < match.runs.size(); ++group) {
        if (at < text.size() && text[at] == '.') ++at;
        match.runs[group] = digits();
    }
    match.stage = text.substr(at);
    if (!match.stage.empty() && match.stage != "a" && match.stage != "b" && match.stage != "rc") return std::nullopt;
    return match;
}

}  // namespace

VDVersion::VDVersion(std::string_view text)
{
    if (text.size() > maxTextLength) {
        log.warning("Params to init VDVersion is too long to be a version ->", excerpt(text));
        return;
    }
    if (const auto match = matchPattern(text)) {
        for (std::size_t group = 0; group < match->runs.size(); ++group) {
            if (const auto value = decimal(match->runs[group])) vers[group] = *value;
        }
        const std::string_view stage = match->stage;
        vers[4] = stage == "a" ? alpha : stage == "b" ? beta : stage == "rc" ? releaseCandidate : release;
        return;
    }

    const std::string_view input = text;
    std::size_t slot = 0;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t dot = input.find('.', start);
        const std::string_view piece = input.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        start = dot == std::string::npos ? input.size() + 1 : dot + 1;
        if (piece.empty()) continue;
        // Five slots only: further pieces have nowhere to go and are left out.
        if (slot >= vers.size()) break;
        const auto value = decimal(piece);
        if (!value) {
            log.warning("Params to init VDVersion is not made up of numbers and dots.");
            break;
        }
        vers[slot++] = *value;
    }
}

std::string VDVersion::toString() const
{
    std::string text = std::to_string(vers[0]) + "." + std::to_string(vers[1]) + "." + std::to_string(vers[2]) + "." +
                       std::to_string(vers[3]);
    switch (vers[4]) {
        case alpha:
            return text + "a";
        case beta:
            return text + "b";
        case releaseCandidate:
            return text + "rc";
        default:
            return text;
    }
}

std::string VDVersion::debugDescription() const
{
    return "VDVersion(" + toString() + ")";
}

std::ostream& operator<<(std::ostream& os, const VDVersion& version)
{
    return os << version.debugDescription();
}

void to_json(nlohmann::json& json, const VDVersion& version)
{
    json = nlohmann::json{{"vers", version.vers}};
}

void from_json(const nlohmann::json& json, VDVersion& version)
{
    if (json.is_string()) {
        version = VDVersion(json.get<std::string>());
        return;
    }
    // Also read what to_json writes, so a stored version reads back.
    // Only integers that fit: a fraction or a number beyond 64 bits is no version part.
    const auto fits = [](const nlohmann::json& part) {
        return part.is_number_integer() &&
               (!part.is_number_unsigned() ||
                part.get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()));
    };
    if (json.is_object() && json.contains("vers") && json["vers"].is_array() && json["vers"].size() == 5 &&
        std::all_of(json["vers"].begin(), json["vers"].end(), fits)) {
        VDVersion decoded;
        for (std::size_t i = 0; i < 5; ++i) decoded.vers[i] = json["vers"][i].get<std::int64_t>();
        version = decoded;
        return;
    }
    throw nlohmann::json::type_error::create(302, "VDVersion expects a version text or {\"vers\":[5 integers]}", &json);
}

}  // namespace vandrel
