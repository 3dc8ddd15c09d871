// The keyboard path of the Linux backend over its descriptor seams: events are written to a fake keyboard,
// read by the backend, run through a pass-through tap and written to a fake output keyboard.
//   BM_InputPassThrough: events per second, 16 key events per frame as a fast typist's keyboard gives them.
//   BM_InputLatency: one key event at a time, waiting on the keyboard: the backend's time from finding it
//   ready (epoll, read) through the taps to its write on the output; reports the median and the 99th
//   percentile.
// Target: at least 500,000 pass-through events per second; a median under 10 microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "input/input_rig.h"

namespace vandrel {
namespace {

using testing::InputRig;
using testing::kKeyboard;

std::vector<input_event> frame(int keys, int value)
{
    std::vector<input_event> events;
    for (int i = 0; i < keys; ++i) events.push_back(testing::event(EV_KEY, KEY_A + (i % 8), value));
    events.push_back(testing::event(EV_SYN, SYN_REPORT, 0));
    return events;
}

void BM_InputPassThrough(benchmark::State& state)
{
    InputRig rig;
    auto recorder = rig.record();
    const int fd = rig.source->testFd(kKeyboard);
    const auto presses = frame(8, 1);
    const auto releases = frame(8, 0);
    std::int64_t events = 0;
    for (auto _ : state) {
        testing::writeEvents(fd, presses);
        testing::writeEvents(fd, releases);
        rig.pump();
        benchmark::DoNotOptimize(testing::readEvents(rig.outputTestEnd.get()));
        recorder->seen.clear();
        events += 16;
    }
    state.SetItemsProcessed(events);
}
BENCHMARK(BM_InputPassThrough);

void BM_InputLatency(benchmark::State& state)
{
    InputRig rig;
    auto recorder = rig.record();
    const int fd = rig.source->testFd(kKeyboard);
    const auto press = frame(1, 1);
    const auto release = frame(1, 0);
    std::vector<double> samples;
    samples.reserve(1 << 20);
    bool down = false;
    input_event out[8];
    for (auto _ : state) {
        testing::writeEvents(fd, down ? release : press);
        const auto start = std::chrono::steady_clock::now();
        rig.pump();
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(::read(rig.outputTestEnd.get(), out, sizeof out));
        samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        down = !down;
        recorder->seen.clear();
    }
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) return;
    const double median = samples[samples.size() / 2];
    const double p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    std::printf("linux input latency over %zu events: median %.2f us, p99 %.2f us\n", samples.size(), median, p99);
}
BENCHMARK(BM_InputLatency);

}  // namespace
}  // namespace vandrel
