// The cost of the input observer's tap callbacks per key event, which every keystroke of the session pays:
// events that pass to the applications (the common case), and events withheld while Caps is held. Each
// iteration is one event through the callback the platform would call; run with repetitions, the median is
// the per-event time. "allocs" counts heap allocations per event (global operator new is counted here);
// the pass-through path is meant to make none.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/input_observer.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<std::uint64_t> gAllocations{0};

void* countedAlloc(std::size_t size)
{
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size)
{
    return countedAlloc(size);
}
void* operator new[](std::size_t size)
{
    return countedAlloc(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace vandrel {
namespace {

// Keeps the callbacks the observer hands to the simulated keyboard, so the benchmark can call them as the
// platform does, without the simulator's own bookkeeping.
class CapturingTaps final : public EventTapService {
public:
    explicit CapturingTaps(EventTapService& inner) : inner_(inner) {}
    std::shared_ptr<EventTap> createTap(KeyEventType type, TapCallback callback, TapPlacement placement) override
    {
        callbacks[static_cast<std::size_t>(type)] = callback;
        return inner_.createTap(type, std::move(callback), placement);
    }
    bool postEvent(const KeyEvent& event, EventTapLocation location) override
    {
        return inner_.postEvent(event, location);
    }
    std::array<TapCallback, 3> callbacks;

private:
    EventTapService& inner_;
};

class BenchPlatform final : public Platform {
public:
    explicit BenchPlatform(std::shared_ptr<SimPlatform> sim) : sim(std::move(sim)), taps(this->sim->keyboard()) {}
    CapturingTaps& eventTaps() override { return taps; }
    HidKeyboard& hidKeyboard() override { return sim->hidKeyboard(); }
    Workspace& workspace() override { return sim->workspace(); }
    KeyboardLayout& keyboardLayout() override { return sim->keyboardLayout(); }
    WindowSystem& windowSystem() override { return sim->windowSystem(); }
    PasteboardServer& pasteboards() override { return sim->pasteboards(); }
    bool isInputAccessTrusted(bool prompt) override { return sim->isInputAccessTrusted(prompt); }

    std::shared_ptr<SimPlatform> sim;
    CapturingTaps taps;
};

struct Rig {
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<BenchPlatform> platform = std::make_shared<BenchPlatform>(SimPlatform::make(clock));
    std::shared_ptr<VandrelState> state = std::make_shared<VandrelState>(clock);
    std::shared_ptr<InputObserver> observer = InputObserver::make({platform, state, clock, clock, nullptr});
    rx::DisposeBag bag;
    std::uint64_t seen = 0;

    Rig()
    {
        observer->startMonitoring();
        clock->runDue();
        // Subscribers as the program has them: something on every subject a keystroke reaches.
        for (const auto* subject : {&observer->keydown, &observer->keyup, &observer->keydownWithCaps,
                                    &observer->keyupWithCaps, &observer->flagsChanged})
            subject->subscribe([this](const KeyEvent&) { ++seen; }).disposed(bag);
    }

    TapResult send(const KeyEvent& e)
    {
        KeyEvent event = e;
        return platform->taps.callbacks[static_cast<std::size_t>(event.type)](event);
    }
};

const std::array<KeyEvent, 4> kTyping{{
    {KeyEventType::keyDown, 0, 0},
    {KeyEventType::keyUp, 0, 0},
    {KeyEventType::flagsChanged, 56, EventFlags::maskShift},
    {KeyEventType::flagsChanged, 56, 0},
}};

void runEvents(benchmark::State& bench, Rig& rig)
{
    std::size_t i = 0;
    gAllocations.store(0);
    gCounting.store(true);
    for (auto _ : bench) {
        benchmark::DoNotOptimize(rig.send(kTyping[i & 3]));
        ++i;
    }
    gCounting.store(false);
    bench.counters["allocs"] =
        benchmark::Counter(static_cast<double>(gAllocations.load()), benchmark::Counter::kAvgIterations);
}

void BM_PassThroughEvent(benchmark::State& bench)
{
    Rig rig;
    runEvents(bench, rig);
}
BENCHMARK(BM_PassThroughEvent)->Iterations(1'000'000)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_EventWhileCapsHeld(benchmark::State& bench)
{
    Rig rig;
    rig.send({KeyEventType::keyDown, 80, 0});
    runEvents(bench, rig);
}
BENCHMARK(BM_EventWhileCapsHeld)->Iterations(1'000'000)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_PassThroughWithBlockedKeys(benchmark::State& bench)
{
    Rig rig;
    auto unblock = rig.observer->blockKeydown(VDKey(9, {55}));
    runEvents(bench, rig);
    unblock();
}
BENCHMARK(BM_PassThroughWithBlockedKeys)->Iterations(1'000'000)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace vandrel
