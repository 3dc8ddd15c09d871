// The key path on the descriptor seams, as the program wires it: a keyboard event read by the input backend,
// the input observer's taps and the deliverer on the input thread, the default layout's action, the write on
// the output keyboard. The file log is on at its default level (debug), as in the program.
//   BM_KeyPathPassedKey: a plain key (press or release) from read to write, and beside it the kernel's part
//   alone (the same epoll, read and write on the same kind of descriptors, with nothing between), so the rest
//   is the time the program spends in user space.
//   BM_KeyPathCapsCombination: S pressed while Caps is held (Caps+S, one Left) from read to the write of Left.
// Each prints the heap allocations and mutex acquisitions per event on the input thread, the median and 99th
// percentile latency, and the same figures measured on this machine before the key path became one small
// machine (one file of loop, keyboards, key logic and output, with locks on the key path).
//   BM_KeyPathThirtyStrokes: Caps+Super+T (thirty Ups) on the backend's own thread in real time, from the
//   write of T to the last Up read back: the pacing of an action's strokes (about 25 ms).
//   BM_KeyPathPassedBurst: 1000 keys typed back to back (faster than any keyboard types) on the backend's own
//   thread, read back as fast as the reader can: the time to the last one and the largest gap between two.
//   No write brings a reader more than 32 events: such a backlog takes the strokes' pacing, four events (one
//   key typed) a millisecond, as it would after the program was stopped.
// Targets: a passed key 0 allocations, 0 locks, a median and 99th percentile at or below the figures before
// less half their user-space part; a Caps combination at most 2 allocations and a 99th percentile under
// 100 us, on an idle machine; thirty strokes in 20 to 30 ms; the burst at four events a millisecond (about a
// second), its largest gap about a millisecond.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/epoll.h>

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
#include "lock_count.h"

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

    struct Run {
        double micros = 0;
        std::uint64_t allocations = 0;
        std::uint64_t locks = 0;
    };
    // One read-to-write run of the loop: its time, its allocations and its mutex acquisitions.
    Run measuredPump()
    {
        const std::uint64_t allocationsBefore = bench::threadAllocationsSoFar();
        const std::uint64_t locksBefore = bench::threadLocksSoFar();
        const auto start = std::chrono::steady_clock::now();
        rig.pump();
        const auto end = std::chrono::steady_clock::now();
        const std::uint64_t locks = bench::threadLocksSoFar() - locksBefore;
        return {std::chrono::duration<double, std::micro>(end - start).count(),
                bench::threadAllocationsSoFar() - allocationsBefore, locks};
    }

    // The kernel's part of a passed key alone: the loop's epoll waits (the one that finds the key, the one that
    // finds nothing more), the read and the write, on socket pairs like the rig's, with nothing between.
    struct KernelFloor {
        std::pair<InputFd, InputFd> in = testing::makeSocketPair();
        std::pair<InputFd, InputFd> out = testing::makeSocketPair();
        InputFd epoll{::epoll_create1(EPOLL_CLOEXEC)};

        KernelFloor()
        {
            testing::setNonBlocking(in.first.get());
            testing::setNonBlocking(out.second.get());
            epoll_event ev{};
            ev.events = EPOLLIN;
            ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, in.first.get(), &ev);
        }
        double sample()
        {
            testing::writeEvents(in.second.get(), {testing::event(EV_KEY, KEY_A, 1), testing::event(EV_SYN, 0, 0)});
            input_event events[64];
            const input_event written[2] = {testing::event(EV_KEY, KEY_A, 1), testing::event(EV_SYN, 0, 0)};
            epoll_event ready[16];
            const auto start = std::chrono::steady_clock::now();
            ::epoll_wait(epoll.get(), ready, 16, 0);
            benchmark::DoNotOptimize(::read(in.first.get(), events, sizeof events));
            benchmark::DoNotOptimize(::write(out.first.get(), written, sizeof written));
            ::epoll_wait(epoll.get(), ready, 16, 0);
            const auto end = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(::read(out.second.get(), events, sizeof events));
            return std::chrono::duration<double, std::micro>(end - start).count();
        }
    };

    // Clears the output and lets the pacing start afresh, outside the measurement.
    void settle()
    {
        benchmark::DoNotOptimize(rig.rawOutput());
        rig.clock->advanceBy(UinputWriter::strokeInterval);
    }
};

struct Samples {
    std::vector<double> micros;
    std::uint64_t allocations = 0;
    std::uint64_t locks = 0;
    std::vector<double> kernelMicros;

    void add(const KeyPathBench::Run& run)
    {
        micros.push_back(run.micros);
        allocations += run.allocations;
        locks += run.locks;
    }
};

// The figures of a benchmark on this machine before the key path became one small machine.
struct Before {
    double allocations;
    double locks;
    double median;
    double p99;
    double userSpace;  // the median less the kernel's part; 0: not measured
};

double percentile(std::vector<double>& values, int percent)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * static_cast<std::size_t>(percent) / 100)];
}

void report(benchmark::State& state, const char* what, Samples& samples, const Before& before)
{
    auto& micros = samples.micros;
    if (micros.empty()) return;
    const double median = percentile(micros, 50);
    const double p99 = percentile(micros, 99);
    const double count = static_cast<double>(micros.size());
    const double allocations = static_cast<double>(samples.allocations) / count;
    const double locks = static_cast<double>(samples.locks) / count;
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["allocs"] = allocations;
    state.counters["locks"] = locks;
    std::printf("%s over %zu events: %.2f allocations and %.2f locks each, median %.2f us, p99 %.2f us\n", what,
                micros.size(), allocations, locks, median, p99);
    if (!samples.kernelMicros.empty()) {
        const double kernel = percentile(samples.kernelMicros, 50);
        state.counters["user_us"] = median - kernel;
        std::printf("  the kernel's part (epoll, read, write) median %.2f us: %.2f us in user space\n", kernel,
                    median - kernel);
    }
    std::printf("  before: %.2f allocations and %.2f locks each, median %.2f us, p99 %.2f us", before.allocations,
                before.locks, before.median, before.p99);
    if (before.userSpace > 0)
        std::printf(", %.2f us in user space; target: median %.2f us, p99 %.2f us at most", before.userSpace,
                    before.median - before.userSpace / 2, before.p99 - before.userSpace / 2);
    std::printf("\n");
}

// Measured with this benchmark on the program as it was, on the machine the figures after it were measured on.
constexpr Before kPassedKeyBefore{0.00, 14.00, 6.30, 8.29, 1.12};
constexpr Before kCapsCombinationBefore{2.00, 23.00, 29.18, 72.93, 0};

void BM_KeyPathPassedKey(benchmark::State& state)
{
    KeyPathBench bench;
    // The first runs fill the caches (the log ring's strings, the table's index).
    for (int i = 0; i < 200; ++i) {
        bench.send(KEY_A, i % 2 == 0 ? 1 : 0);
        bench.rig.pump();
        bench.settle();
    }
    KeyPathBench::KernelFloor floor;
    Samples samples;
    bool down = false;
    for (auto _ : state) {
        down = !down;
        bench.send(KEY_A, down ? 1 : 0);
        samples.add(bench.measuredPump());
        state.PauseTiming();
        bench.settle();
        samples.kernelMicros.push_back(floor.sample());
        state.ResumeTiming();
    }
    if (down) bench.send(KEY_A, 0);
    report(state, "passed key (read to write)", samples, kPassedKeyBefore);
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
    Samples samples;
    for (auto _ : state) {
        bench.send(KEY_S, 1);
        samples.add(bench.measuredPump());
        state.PauseTiming();
        bench.send(KEY_S, 0);
        bench.rig.pump();
        bench.settle();
        state.ResumeTiming();
    }
    bench.send(KEY_CAPSLOCK, 0);
    bench.rig.pump();
    report(state, "Caps+S (read to the write of Left)", samples, kCapsCombinationBefore);
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

    // Reads the output until `keys` key events came (or `within` passed); the moments they came.
    std::vector<Clock::time_point> readKeys(std::size_t keys, Clock::duration within = std::chrono::seconds(1))
    {
        std::vector<Clock::time_point> at;
        at.reserve(keys);
        input_event events[256];
        pollfd readable{rig.outputTestEnd.get(), POLLIN, 0};
        const auto deadline = Clock::now() + within;
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
        const auto at = bench.readKeys(2 * kKeys, std::chrono::seconds(10));
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
BENCHMARK(BM_KeyPathPassedBurst)->Iterations(5)->UseRealTime();

}  // namespace
}  // namespace vandrel
