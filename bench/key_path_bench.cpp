// The key path on the descriptor seams, as the program wires it: a keyboard event read by the input backend,
// the input observer's taps and the deliverer on the input thread, the default layout's action, the write on
// the output keyboard. The file log is on at its default level (debug), as in the program.
//   BM_KeyPathPassedKey: a plain key (press or release) from read to write.
//   BM_KeyPathCapsCombination: S pressed while Caps is held (Caps+S, one Left) from read to the write of Left.
// Each prints the heap allocations per event on the input thread and the median and 99th percentile latency.
// Targets: a passed key 0 allocations and a median under 5 us; a Caps combination at most 2 allocations, a
// median under 20 us and a 99th percentile under 100 us, on an idle machine.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "catalogue/build_in_vd_key_scheme.h"
#include "core/file_destination.h"
#include "engine/event_keeper.h"
#include "engine/input_observer.h"
#include "engine/key_event_deliver.h"
#include "input/input_rig.h"
#include "platform/linux/input/linux_event_tap_service.h"
#include "platform/linux/input/linux_hid_keyboard.h"
#include "platform/sim/sim_platform.h"

namespace {
// Allocations made by the thread that counts, while it counts.
thread_local bool counting = false;
thread_local std::uint64_t allocations = 0;
}  // namespace

void* operator new(std::size_t size)
{
    if (counting) ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace vandrel {
namespace {

using testing::InputRig;
using testing::kKeyboard;

class BenchPlatform final : public Platform {
public:
    BenchPlatform(std::shared_ptr<InputBackend> backend, std::shared_ptr<SimPlatform> sim)
        : sim_(std::move(sim)), taps_(backend, nullptr), hid_(backend, nullptr)
    {
    }
    EventTapService& eventTaps() override { return taps_; }
    HidKeyboard& hidKeyboard() override { return hid_; }
    Workspace& workspace() override { return sim_->workspace(); }
    KeyboardLayout& keyboardLayout() override { return sim_->keyboardLayout(); }
    WindowSystem& windowSystem() override { return sim_->windowSystem(); }
    PasteboardServer& pasteboards() override { return sim_->pasteboards(); }
    bool isInputAccessTrusted(bool) override { return true; }

private:
    std::shared_ptr<SimPlatform> sim_;
    LinuxEventTapService taps_;
    LinuxHidKeyboard hid_;
};

struct KeyPathBench {
    QTemporaryDir dir;
    std::shared_ptr<FileDestination> file =
        std::make_shared<FileDestination>(std::filesystem::path(dir.path().toStdString()) / "debug.log");
    InputRig rig;
    std::shared_ptr<InputBackend> backend{rig.backend.get(), [](InputBackend*) {}};
    std::shared_ptr<Platform> platform = std::make_shared<BenchPlatform>(backend, SimPlatform::make(rig.clock));
    PlatformInstallation installed{platform};
    std::shared_ptr<VandrelState> state = std::make_shared<VandrelState>(rig.clock);
    std::shared_ptr<InputObserver> observer;
    std::shared_ptr<KeyEventDeliver> deliver;
    int fd;

    KeyPathBench()
    {
        file->setMinLevel(LogLevel::debug);
        vandrel::log.addDestination(file);
        const auto scheme = BuildInVDKeyScheme::vandrel_v20190601();
        const EventKeeperPtr table =
            EventKeeper::withoutConflicting(std::make_shared<const EventKeeper>(*scheme), scheme);
        observer = InputObserver::make({platform, state, backend->inputThreadScheduler(), rig.clock, nullptr});
        deliver = KeyEventDeliver::make({observer, state, [table] { return table; }, rig.clock, rig.clock, true});
        deliver->install();
        observer->startMonitoring();
        backend->setKeyMapping({{57, 80}});
        rig.pump();
        fd = rig.source->testFd(kKeyboard);
    }
    ~KeyPathBench()
    {
        observer.reset();
        vandrel::log.flush();
        vandrel::log.removeDestination(file);
    }

    void send(std::uint16_t code, int value)
    {
        testing::writeEvents(fd, {testing::event(EV_KEY, code, value), testing::event(EV_SYN, SYN_REPORT, 0)});
    }

    // One read-to-write run of the loop: its time in microseconds and its allocations.
    std::pair<double, std::uint64_t> measuredPump()
    {
        allocations = 0;
        counting = true;
        const auto start = std::chrono::steady_clock::now();
        rig.pump();
        const auto end = std::chrono::steady_clock::now();
        counting = false;
        return {std::chrono::duration<double, std::micro>(end - start).count(), allocations};
    }

    // Clears the output and lets the pacing start afresh, outside the measurement.
    void settle()
    {
        benchmark::DoNotOptimize(rig.rawOutput());
        rig.clock->advanceBy(UinputWriter::chunkPause);
    }
};

void report(benchmark::State& state, const char* what, std::vector<double>& samples, std::uint64_t allocs)
{
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    const double p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    const double perEvent = static_cast<double>(allocs) / static_cast<double>(samples.size());
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["allocs"] = perEvent;
    std::printf("%s over %zu events: %.2f allocations each, median %.2f us, p99 %.2f us\n", what, samples.size(),
                perEvent, median, p99);
}

void BM_KeyPathPassedKey(benchmark::State& state)
{
    KeyPathBench bench;
    // The first runs fill the caches (the log ring's strings, the table's index).
    for (int i = 0; i < 200; ++i) {
        bench.send(KEY_A, i % 2 == 0 ? 1 : 0);
        bench.rig.pump();
        bench.settle();
    }
    std::vector<double> samples;
    std::uint64_t allocs = 0;
    bool down = false;
    for (auto _ : state) {
        down = !down;
        bench.send(KEY_A, down ? 1 : 0);
        const auto [micros, count] = bench.measuredPump();
        samples.push_back(micros);
        allocs += count;
        state.PauseTiming();
        bench.settle();
        state.ResumeTiming();
    }
    if (down) bench.send(KEY_A, 0);
    report(state, "passed key (read to write)", samples, allocs);
}
BENCHMARK(BM_KeyPathPassedKey)->Iterations(20000);

void BM_KeyPathCapsCombination(benchmark::State& state)
{
    KeyPathBench bench;
    bench.send(KEY_CAPSLOCK, 1);
    bench.rig.pump();
    for (int i = 0; i < 200; ++i) {
        bench.send(KEY_S, 1);
        bench.send(KEY_S, 0);
        bench.rig.pump();
        bench.settle();
    }
    std::vector<double> samples;
    std::uint64_t allocs = 0;
    for (auto _ : state) {
        bench.send(KEY_S, 1);
        const auto [micros, count] = bench.measuredPump();
        samples.push_back(micros);
        allocs += count;
        state.PauseTiming();
        bench.send(KEY_S, 0);
        bench.rig.pump();
        bench.settle();
        state.ResumeTiming();
    }
    bench.send(KEY_CAPSLOCK, 0);
    bench.rig.pump();
    report(state, "Caps+S (read to the write of Left)", samples, allocs);
}
BENCHMARK(BM_KeyPathCapsCombination)->Iterations(20000);

}  // namespace
}  // namespace vandrel
