#include "core/set_aside_files.h"

#include <mutex>

namespace vandrel {

namespace {

struct Record {
    // Held while the listener runs too, so a report made meanwhile is neither lost nor heard twice.
    std::recursive_mutex mutex;
    std::vector<SetAsideFile> files;
    SetAsideFiles::Listener listener;
};

Record& record()
{
    static Record instance;
    return instance;
}

}  // namespace

void SetAsideFiles::report(const SetAsideFile& file)
{
    auto& r = record();
    std::lock_guard lock(r.mutex);
    r.files.push_back(file);
    if (r.listener) r.listener(file);
}

std::vector<SetAsideFile> SetAsideFiles::reported()
{
    auto& r = record();
    std::lock_guard lock(r.mutex);
    return r.files;
}

void SetAsideFiles::setListener(Listener listener)
{
    auto& r = record();
    std::lock_guard lock(r.mutex);
    r.listener = std::move(listener);
    if (!r.listener) return;
    for (const auto& file : std::vector<SetAsideFile>(r.files)) r.listener(file);
}

}  // namespace vandrel
