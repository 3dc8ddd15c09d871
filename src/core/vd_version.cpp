#include "core/vd_version.h"

#include <charconv>
#include <regex>

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

}  // namespace

VDVersion::VDVersion(std::string_view text)
{
    static const std::regex pattern(R"(^(\d+)\.?(\d+)?\.?(\d+)?\.?(\d+)?(a|b|rc)?$)");
    const std::string input(text);
    std::smatch match;
    if (std::regex_match(input, match, pattern)) {
        for (std::size_t group = 1; group <= 4; ++group) {
            if (!match[group].matched) continue;
            if (const auto value = decimal(match[group].str())) vers[group - 1] = *value;
        }
        const std::string stage = match[5].matched ? match[5].str() : std::string();
        vers[4] = stage == "a" ? alpha : stage == "b" ? beta : stage == "rc" ? releaseCandidate : release;
        return;
    }

    std::size_t slot = 0;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t dot = input.find('.', start);
        const std::string_view piece =
            std::string_view(input).substr(start, dot == std::string::npos ? std::string::npos : dot - start);
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
    if (json.is_object() && json.contains("vers") && json["vers"].is_array() && json["vers"].size() == 5) {
        VDVersion decoded;
        for (std::size_t i = 0; i < 5; ++i) decoded.vers[i] = json["vers"][i].get<std::int64_t>();
        version = decoded;
        return;
    }
    throw nlohmann::json::type_error::create(302, "VDVersion expects a version text or {\"vers\":[5 integers]}", &json);
}

}  // namespace vandrel
