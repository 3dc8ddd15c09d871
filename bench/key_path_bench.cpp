// The key path on the descriptor seams, as the program wires it: a keyboard event read by the input backend,
// the input observer's taps and the deliverer on the input thread, the default layout's action, the write on
// the output keyboard. The file log is on at its default level (debug), as in the program.
//   BM_KeyPathPassedKey: a plain key (press or release) from read to write.
//   BM_KeyPathCapsCombination: S pressed while Caps is held (Caps+S, one Left) from read to the write of Left.
// Each prints the heap allocations per event on the input thread and the median and 99th percentile latency.
//   BM_KeyPathThirtyStrokes: Caps+Super+T (thirty Ups) on the backend's own thread in real time, from the
//   write of T to the last Up read back: the pacing of an action's strokes (about 25 ms).
//   BM_KeyPathPassedBurst: 1000 keys typed back to back (a barcode scanner, key repeat) on the backend's own
//   thread, read back as fast as the reader can: the time to the last one and the largest gap between two.
// Targets: a passed key 0 allocations and a median under 5 us; a Caps combination at most 2 allocations, a
// median under 20 us and a 99th percentile under 100 us, on an idle machine; thirty strokes in 20 to 30 ms;
// the burst at the reader's pace, its largest gap far under a millisecond (no pause of the program's own).
#include <benchmark/benchmark.h>
#include <poll.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

#include "allocation_count.h"
#include "core/file_destination.h"
#include "core/serial_queue.h"
#include "input/key_path_rig.h"

namespace vandrel {
namespace {

using testing::InputRig;
using testing::kKeyboard;

struct KeyPathBench {
    QTemporaryDir dir;
    std::shared_ptr<FileDestination> file =
        std::make_shared<FileDestination>(std::filesystem::path(dir.path().toStdString()) / "debug.log");
    testing::KeyPathRig path;
    InputRig& rig = path.rig;
    int fd = rig.source->testFd(kKeyboard);

    explicit KeyPathBench(InputRig::Setup setup = {}) : path(setup)
    {
        file->setMinLevel(LogLevel::debug);
        vandrel::log.addDestination(file);
    }
    ~KeyPathBench()
    {
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
        const std::uint64_t before = bench::threadAllocationsSoFar();
        const auto start = std::chrono::steady_clock::now();
        rig.pump();
        const auto end = std::chrono::steady_clock::now();
        const std::uint64_t allocations = bench::threadAllocationsSoFar() - before;
        return {std::chrono::duration<double, std::micro>(end - start).count(), allocations};
    }

    // Clears the output and lets the pacing start afresh, outside the measurement.
    void settle()
    {
        benchmark::DoNotOptimize(rig.rawOutput());
        rig.clock->advanceBy(UinputWriter::strokeInterval);
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

using Clock = std::chrono::steady_clock;

// The key path on its own thread in real time, the keyboard taken.
struct RealTimeKeyPath : KeyPathBench {
    RealTimeKeyPath() : KeyPathBench(InputRig::Setup{.ownThread = true, .scheduler = SerialQueue::make("bench.timer")})
    {
        rig.source->waitForGrab(kKeyboard, true);
        std::promise<void> reached;
        path.backend->inputThreadScheduler()->schedule([&reached] { reached.set_value(); });
        reached.get_future().wait();
    }

    // Reads the output until `keys` key events came (or a second passed); the moments they came.
    std::vector<Clock::time_point> readKeys(std::size_t keys)
    {
        std::vector<Clock::time_point> at;
        at.reserve(keys);
        input_event events[256];
        pollfd readable{rig.outputTestEnd.get(), POLLIN, 0};
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (at.size() < keys && Clock::now() < deadline) {
            const ssize_t n = ::read(rig.outputTestEnd.get(), events, sizeof events);
            if (n <= 0) {
                ::poll(&readable, 1, 100);
                continue;
            }
            const auto now = Clock::now();
            for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof(input_event); ++i)
                if (events[i].type == EV_KEY) at.push_back(now);
        }
        return at;
    }
};

double millis(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_KeyPathThirtyStrokes(benchmark::State& state)
{
    RealTimeKeyPath bench;
    std::vector<double> samples;
    for (auto _ : state) {
        bench.send(KEY_CAPSLOCK, 1);
        bench.send(KEY_LEFTMETA, 1);
        const auto start = Clock::now();
        bench.send(KEY_T, 1);
        const auto at = bench.readKeys(60);
        if (at.size() < 60) state.SkipWithError("not every stroke came out");
        samples.push_back(at.empty() ? 0 : millis(at.back() - start));
        state.PauseTiming();
        bench.send(KEY_T, 0);
        bench.send(KEY_LEFTMETA, 0);
        bench.send(KEY_CAPSLOCK, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the pacing's bucket fills again
        benchmark::DoNotOptimize(bench.rig.rawOutput());
        state.ResumeTiming();
    }
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) return;
    state.counters["median_ms"] = samples[samples.size() / 2];
    state.counters["max_ms"] = samples.back();
    std::printf(
        "Caps+Super+T, thirty Ups, from the key to the last stroke over %zu runs: median %.2f ms, max %.2f ms\n",
        samples.size(), samples[samples.size() / 2], samples.back());
}
BENCHMARK(BM_KeyPathThirtyStrokes)->Iterations(50)->UseRealTime();

void BM_KeyPathPassedBurst(benchmark::State& state)
{
    RealTimeKeyPath bench;
    constexpr std::size_t kKeys = 1000;
    std::vector<input_event> burst;
    for (std::size_t i = 0; i < kKeys; ++i)
        for (int value : {1, 0}) {
            burst.push_back(testing::event(EV_KEY, static_cast<std::uint16_t>(KEY_A + i % 8), value));
            burst.push_back(testing::event(EV_SYN, SYN_REPORT, 0));
        }
    std::vector<double> totals;
    std::vector<double> gaps;
    for (auto _ : state) {
        std::promise<Clock::time_point> started;
        std::thread typist([&] {
            started.set_value(Clock::now());
            // Back to back, as fast as the keyboard's descriptor takes them.
            const auto* data = reinterpret_cast<const char*>(burst.data());
            std::size_t left = burst.size() * sizeof(input_event);
            pollfd writable{bench.fd, POLLOUT, 0};
            while (left > 0) {
                const ssize_t n = ::write(bench.fd, data, std::min<std::size_t>(left, 64 * sizeof(input_event)));
                if (n < 0) {
                    ::poll(&writable, 1, 100);
                    continue;
                }
                data += n;
                left -= static_cast<std::size_t>(n);
            }
        });
        const auto at = bench.readKeys(2 * kKeys);
        typist.join();
        const auto start = started.get_future().get();
        if (at.size() < 2 * kKeys) state.SkipWithError("not every key came out");
        if (at.empty()) continue;
        totals.push_back(millis(at.back() - start));
        double gap = 0;
        for (std::size_t i = 1; i < at.size(); ++i) gap = std::max(gap, millis(at[i] - at[i - 1]));
        gaps.push_back(gap);
    }
    std::sort(totals.begin(), totals.end());
    std::sort(gaps.begin(), gaps.end());
    if (totals.empty()) return;
    state.counters["median_ms"] = totals[totals.size() / 2];
    state.counters["largest_gap_ms"] = gaps.back();
    std::printf(
        "1000 typed keys back to back over %zu runs: the last one out after %.2f ms (median), largest gap "
        "%.3f ms (median %.3f ms)\n",
        totals.size(), totals[totals.size() / 2], gaps.back(), gaps[gaps.size() / 2]);
}
BENCHMARK(BM_KeyPathPassedBurst)->Iterations(50)->UseRealTime();

}  // namespace
}  // namespace vandrel
