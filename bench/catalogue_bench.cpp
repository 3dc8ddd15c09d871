// The factory layout and the key strokes of its actions.
//
// Targets: reading the default scheme (the key service reads it at start-up and whenever the active custom
// scheme is removed) under 1 ms; the longest stroke of the layout, Caps+Command+B (30 Down taps), posted on
// the simulated keyboard under 100 us, and a Caps+Command+A word jump (3 Option+Left taps) under 20 us.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

// Benchmarks must never touch the user's own settings.
struct Environment {
    QTemporaryDir dir;
    std::shared_ptr<SimPlatform> sim = SimPlatform::make();
    PlatformInstallation installed{sim};
    Environment() { installDefaults(std::make_shared<SettingsStore>(dir.path().toStdString())); }
};

Environment& environment()
{
    static Environment instance;
    return instance;
}

void BM_ReadDefaultScheme(benchmark::State& state)
{
    environment();
    BuiltInVDAction::registerAll();
    for (auto _ : state) benchmark::DoNotOptimize(BuildInVDKeyScheme::vandrel_v20190601());
}
BENCHMARK(BM_ReadDefaultScheme)->Unit(benchmark::kMicrosecond);

void runAction(benchmark::State& state, const VDActionPtr& action, const VDAction::ParamSequence& params)
{
    auto& keyboard = environment().sim->keyboard();
    for (auto _ : state) {
        action->doWithParamSequence(params);
        state.PauseTiming();
        keyboard.clearEvents();
        state.ResumeTiming();
    }
}

void BM_MoveDown30(benchmark::State& state)
{
    runAction(state, BuiltInVDAction::moveDownN(), {VDAtomicActionParam::times(30)});
}
BENCHMARK(BM_MoveDown30)->Unit(benchmark::kMicrosecond);

void BM_MoveLeft3Words(benchmark::State& state)
{
    runAction(state, BuiltInVDAction::moveLeftNWords(), {VDAtomicActionParam::times(3)});
}
BENCHMARK(BM_MoveLeft3Words)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vandrel
