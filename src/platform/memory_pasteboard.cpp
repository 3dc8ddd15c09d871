#include "platform/memory_pasteboard.h"

#include <algorithm>

namespace vandrel {

MemoryPasteboard::MemoryPasteboard(std::string name) : name_(std::move(name)) {}

std::int64_t MemoryPasteboard::changeCount() const
{
    std::lock_guard lock(mutex_);
    return changeCount_;
}

std::int64_t MemoryPasteboard::clearContents()
{
    return declareTypes({});
}

std::int64_t MemoryPasteboard::declareTypes(const std::vector<PasteboardType>& types)
{
    std::int64_t count = 0;
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (refusedWrites_ > 0) return changeCount_;
        items_.clear();
        declared_ = types;
        count = ++changeCount_;
        if (reportsChanges_) handler = changeHandler_;
    }
    if (handler) handler();
    return count;
}

void MemoryPasteboard::reportChanges(bool on)
{
    std::lock_guard lock(mutex_);
    reportsChanges_ = on;
}

bool MemoryPasteboard::reportsChanges() const
{
    std::lock_guard lock(mutex_);
    return reportsChanges_;
}

void MemoryPasteboard::setChangeHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    changeHandler_ = std::move(handler);
}

bool MemoryPasteboard::writeObjects(const std::vector<PasteboardItem>& items)
{
    std::lock_guard lock(mutex_);
    if (refusedWrites_ > 0) {
        --refusedWrites_;
        return false;
    }
    items_.insert(items_.end(), items.begin(), items.end());
    return true;
}

std::optional<std::vector<PasteboardItem>> MemoryPasteboard::pasteboardItems() const
{
    std::lock_guard lock(mutex_);
    if (failingReads_ > 0) {
        --failingReads_;
        return std::nullopt;
    }
    return items_;
}

std::vector<PasteboardType> MemoryPasteboard::types() const
{
    std::lock_guard lock(mutex_);
    std::vector<PasteboardType> out = items_.empty() ? std::vector<PasteboardType>{} : items_.front().types();
    for (const auto& t : declared_)
        if (std::find(out.begin(), out.end(), t) == out.end()) out.push_back(t);
    return out;
}

std::optional<PasteboardData> MemoryPasteboard::data(const PasteboardType& type) const
{
    std::lock_guard lock(mutex_);
    if (items_.empty()) return std::nullopt;
    return items_.front().data(type);
}

std::optional<std::string> MemoryPasteboard::string(const PasteboardType& type) const
{
    std::lock_guard lock(mutex_);
    if (items_.empty()) return std::nullopt;
    return items_.front().string(type);
}

bool MemoryPasteboard::setData(const PasteboardData& data, const PasteboardType& type)
{
    std::lock_guard lock(mutex_);
    if (refusedWrites_ > 0) {
        --refusedWrites_;
        return false;
    }
    if (items_.empty()) items_.emplace_back();
    items_.front().setData(type, data);
    std::erase(declared_, type);
    return true;
}

bool MemoryPasteboard::setString(const std::string& text, const PasteboardType& type)
{
    return setData(PasteboardData(text.begin(), text.end()), type);
}

void MemoryPasteboard::failNextReads(int count, bool stalled)
{
    std::lock_guard lock(mutex_);
    failingReads_ = count;
    stallingReads_ = stalled;
}

void MemoryPasteboard::refuseWrites(int count)
{
    std::lock_guard lock(mutex_);
    refusedWrites_ = count;
}

Pasteboard::BoundedItems MemoryPasteboard::boundedItems(std::int64_t limitBytes) const
{
    {
        std::lock_guard lock(mutex_);
        if (failingReads_ > 0 && stallingReads_) {
            --failingReads_;
            return {std::nullopt, 0, true};
        }
    }
    return measured(pasteboardItems(), limitBytes);
}

void MemoryPasteboard::setFetchHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    fetchHandler_ = std::move(handler);
}

std::vector<PasteboardItem> MemoryPasteboard::fetchByTarget()
{
    std::function<void()> handler;
    std::vector<PasteboardItem> items;
    {
        std::lock_guard lock(mutex_);
        handler = fetchHandler_;
        items = items_;
    }
    if (handler) handler();
    return items;
}

std::optional<std::string> MemoryPasteboard::fetchStringByTarget()
{
    const auto items = fetchByTarget();
    if (items.empty()) return std::nullopt;
    return items.front().string(PasteboardTypes::string);
}

}  // namespace vandrel
