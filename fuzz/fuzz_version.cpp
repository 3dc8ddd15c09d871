// Version texts, as given to the parser directly and inside JSON.
#include <cstdint>
#include <string>

#include "core/vd_version.h"

using namespace vandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const VDVersion version(text);
    (void)version.debugDescription();
    try {
        (void)nlohmann::json::parse(text).get<VDVersion>();
    } catch (const nlohmann::json::exception&) {
        // Not JSON, or not a version's JSON: the callers' own handling.
    }
    return 0;
}
