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
#include <chrono>
#include <cstdio>
#include <vector>

#include "allocation_count.h"
#include "core/file_destination.h"
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

    KeyPathBench()
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
