// Limits for reading JSON that comes from outside the program (files, stored texts, the network).
//
// nlohmann's parser keeps its own stack, but copying, comparing, dumping and our decoders recurse: a value
// nested a hundred thousand deep parses and then overflows the stack later. Every reader of outside text
// therefore refuses text nested deeper than kMaxJsonNesting (far more than anything we write) as unreadable,
// and error messages quote outside text through excerpt(), never whole.
//
//   auto json = parseBoundedJson<nlohmann::json>(text);   // discarded when not JSON or nested too deeply
//   log.error("cannot read ->", excerpt(text));
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vandrel {

// Arrays and objects inside one another; a scalar at the top is depth 0, [] is 1, [[1]] is 2.
inline constexpr int kMaxJsonNesting = 64;
// The most bytes of outside text an error message quotes.
inline constexpr std::size_t kExcerptBytes = 120;

// The deepest nesting of arrays and objects in JSON text, counted without recursion; strings are skipped.
// Stops counting once past `stopAbove`. Text that is not JSON gives some number; the parser refuses it anyway.
int jsonTextNesting(std::string_view text, int stopAbove = kMaxJsonNesting);

// The text itself when short, else its first bytes (cut at a character boundary) and how long it was.
std::string excerpt(std::string_view text, std::size_t maxBytes = kExcerptBytes);

// Whether a parsed value is nested no deeper than the limit, checked without recursion.
template <class Json>
bool jsonWithinNesting(const Json& value, int limit = kMaxJsonNesting)
{
    std::vector<std::pair<const Json*, int>> pending{{&value, 0}};
    while (!pending.empty()) {
        const auto [current, depth] = pending.back();
        pending.pop_back();
        if (!current->is_structured()) continue;
        if (depth + 1 > limit) return false;
        for (const auto& child : *current) pending.emplace_back(&child, depth + 1);
    }
    return true;
}

// Parses outside text; the result is discarded (is_discarded()) when the text is not JSON or is nested
// deeper than the limit.
template <class Json>
Json parseBoundedJson(std::string_view text, int limit = kMaxJsonNesting)
{
    if (jsonTextNesting(text, limit) > limit) return Json(Json::value_t::discarded);
    return Json::parse(text, nullptr, false);
}

// A value for an error message: compact JSON cut to an excerpt; a value nested too deeply to print safely
// is named as such.
template <class Json>
std::string jsonExcerpt(const Json& value)
{
    if (!jsonWithinNesting(value)) return "<value nested more than " + std::to_string(kMaxJsonNesting) + " deep>";
    return excerpt(value.dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace vandrel
