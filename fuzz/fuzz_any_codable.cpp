// Type-erased values from JSON text: what decodes must encode, print and equal itself.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/any_codable.h"

using namespace vandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto value = AnyCodable::parse(text);
    if (!value) {
        (void)value.error().description();
        return 0;
    }
    (void)value->debugDescription();
    (void)value->description();
    auto json = value->encode();
    if (!json) return 0;
    auto again = AnyCodable::decode(*json);
    if (!again) std::abort();
    // A NaN cannot come out of JSON, so every decoded value equals its own round trip.
    if (!(*again == *value)) std::abort();
    return 0;
}
