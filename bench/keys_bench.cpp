// Work done per key event: building the key of an event and its id (the deliverer's lookup), parsing ids
// (scheme loading), and one key press through three taps of the simulated platform.
#include <benchmark/benchmark.h>

#include "model/vd_key.h"
#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

void BM_KeyFromEvent(benchmark::State& state)
{
    const KeyEvent event{KeyEventType::keyDown, 38, EventFlags::maskAlphaShift | EventFlags::maskShift};
    for (auto _ : state) {
        VDKey key(event);
        benchmark::DoNotOptimize(key.keybit());
    }
}
BENCHMARK(BM_KeyFromEvent);

void BM_KeyId(benchmark::State& state)
{
    const VDKey key(38, {57, 56});
    for (auto _ : state) benchmark::DoNotOptimize(key.id());
}
BENCHMARK(BM_KeyId);

void BM_KeybitFromId(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(VDKey::keybitFromId("130026"));
}
BENCHMARK(BM_KeybitFromId);

void BM_SimKeyThroughTaps(benchmark::State& state)
{
    auto sim = SimPlatform::make();
    auto& keyboard = sim->keyboard();
    auto down = keyboard.createTap(KeyEventType::keyDown, [](KeyEvent&) { return TapResult::swallow; });
    auto up = keyboard.createTap(KeyEventType::keyUp, [](KeyEvent&) { return TapResult::swallow; });
    auto flags = keyboard.createTap(KeyEventType::flagsChanged, [](KeyEvent&) { return TapResult::swallow; });
    for (auto _ : state) keyboard.tap(38);
}
BENCHMARK(BM_SimKeyThroughTaps);

}  // namespace
}  // namespace vandrel
