// One key setting and one parameter list as JSON, each read the way a stored scheme reads them.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/json_limits.h"
#include "model/vd_atomic_action_param.h"
#include "model/vd_key_setting.h"

using namespace vandrel;
using Json = nlohmann::ordered_json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Json json = parseBoundedJson<Json>(text);
    if (json.is_discarded()) return 0;

    if (auto setting = VDKeySetting::fromJson(json)) {
        (void)setting.value()->description();
        (void)setting.value()->hashValue();
        auto again = VDKeySetting::fromJson(setting.value()->toJson());
        if (!again || !(*again.value() == *setting.value())) std::abort();
    }
    if (auto params = VDAtomicActionParam::sequenceFromJson(json)) {
        for (const auto& param : params.value()) {
            (void)param.description();
            (void)param.hashValue();
        }
    }
    if (auto param = VDAtomicActionParam::fromJson(json)) {
        auto again = VDAtomicActionParam::fromJson(param.value().toJson());
        if (!again || !(again.value() == param.value())) std::abort();
    }
    return 0;
}
