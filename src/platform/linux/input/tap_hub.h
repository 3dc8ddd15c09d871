// The event taps of the input backend: any thread adds, removes, enables and disables them; the input thread
// reads them. Every change publishes new, immutable lists and bumps a version, so the input thread reads the
// version once per loop turn and takes the lock only in the rare turn after a change (TapHub::Reader).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/event_tap.h"

namespace vandrel {

class TapHub : public std::enable_shared_from_this<TapHub> {
public:
    struct Entry {
        KeyEventType type = KeyEventType::keyDown;
        TapCallback callback;
        std::atomic<bool> enabled{true};
        // Under the hub's mutex.
        std::function<void()> onDisabled;
    };
    using List = std::vector<std::shared_ptr<Entry>>;
    // The taps of each event type, head first.
    struct Lists {
        std::array<List, 3> byType;
        const List& of(KeyEventType type) const { return byType[static_cast<std::size_t>(type)]; }
    };

    // The lists as of the last refresh(): the input thread refreshes once per turn.
    class Reader {
    public:
        explicit Reader(std::shared_ptr<TapHub> hub);
        void refresh();
        const Lists& lists() const { return *lists_; }

    private:
        const std::shared_ptr<TapHub> hub_;
        std::shared_ptr<const Lists> lists_;
        std::uint64_t version_ = 0;
    };

    static std::shared_ptr<TapHub> make() { return std::shared_ptr<TapHub>(new TapHub()); }

    // A new tap, enabled; it is removed when the returned handle goes.
    std::shared_ptr<EventTap> add(KeyEventType type, TapCallback callback, TapPlacement placement);
    bool hasTaps() const { return hasTaps_.load(std::memory_order_acquire); }
    // Disables every tap, as the platform does on its own (each tap's onDisabled is told).
    void disableAll();

    // Told, under the hub's lock, of every added or removed tap and of every tap enabled again. Set by the
    // backend while it lives.
    void setObservers(std::function<void()> onChange, std::function<void()> onEnable);

private:
    class Handle;
    TapHub();
    void remove(const std::shared_ptr<Entry>& entry);
    void setOnDisabled(const std::shared_ptr<Entry>& entry, std::function<void()> handler);
    void enabled();
    void publish(std::shared_ptr<const Lists> next);

    mutable std::mutex mutex_;
    std::shared_ptr<const Lists> lists_;
    std::atomic<std::uint64_t> version_{1};
    std::atomic<bool> hasTaps_{false};
    std::function<void()> onChange_;
    std::function<void()> onEnable_;
};

}  // namespace vandrel
