// A stored key scheme's JSON text. What reads must write back, and what it writes must read again as the
// same scheme.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/vd_key_scheme.h"

using namespace vandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto scheme = VDKeyScheme::fromJsonText(text);
    if (!scheme) return 0;
    const auto written = scheme.value()->toJsonText();
    if (!written) return 0;  // text that is not UTF-8 cannot be written; the store reports it
    auto again = VDKeyScheme::fromJsonText(*written);
    if (!again || again.value()->toJsonText() != written) std::abort();
    (void)scheme.value()->groupToSettingsDictionary();
    return 0;
}
