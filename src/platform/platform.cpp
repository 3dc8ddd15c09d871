#include "platform/platform.h"

#include <mutex>

namespace vandrel {

namespace {

std::mutex& installedMutex()
{
    static std::mutex m;
    return m;
}

std::shared_ptr<Platform>& installed()
{
    static std::shared_ptr<Platform> p;
    return p;
}

}  // namespace

std::shared_ptr<Platform> Platform::shared()
{
    std::lock_guard lock(installedMutex());
    return installed();
}

std::shared_ptr<Platform> installPlatform(std::shared_ptr<Platform> platform)
{
    std::lock_guard lock(installedMutex());
    installed().swap(platform);
    return platform;
}

}  // namespace vandrel
