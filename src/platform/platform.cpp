#include "platform/platform.h"

namespace vandrel {

InstalledInstance<Platform>& Platform::installed()
{
    static InstalledInstance<Platform> slot;
    return slot;
}

std::shared_ptr<Platform> Platform::shared()
{
    return installed().get();
}

std::shared_ptr<Platform> installPlatform(std::shared_ptr<Platform> platform)
{
    return Platform::installed().set(std::move(platform));
}

}  // namespace vandrel
