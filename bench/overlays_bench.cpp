// The cheat sheet from the action to its first paint.
//
// Target: building and laying out the sheet of the default layout and painting it once, median under
// 30 ms, both for the first showing (the controller and window made) and for a redraw after a scheme change.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "core/defaults.h"
#include "core/localize.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"

namespace vandrel {
namespace {

// Benchmarks never touch the user's own settings.
struct Environment {
    QTemporaryDir dir;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    PlatformInstallation installed{sim};
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    rx::BehaviorRelay<VDKeySchemePtr> activeKeyScheme{nullptr};
    rx::PublishSubject<KeyEvent> capsUp;

    Environment()
    {
        installDefaults(settings);
        Localize::setCurrentLanguage("en");
        BuiltInVDAction::registerAll();
    }

    VDCheatSheetWindowController::Dependencies dependencies()
    {
        VDCheatSheetWindowController::Dependencies d;
        d.activeKeyScheme = activeKeyScheme;
        d.capsUp = capsUp.asObservable();
        d.mainScheduler = clock;
        d.settings = settings;
        d.screenInfo = std::make_shared<FixedScreenInfo>(QRect(0, 0, 1920, 1080));
        d.toast = [](const std::string&, double) {};
        return d;
    }
};

Environment& environment()
{
    static Environment instance;
    return instance;
}

void BM_CheatSheetFirstShowToPaint(benchmark::State& state)
{
    auto& env = environment();
    env.activeKeyScheme.accept(BuildInVDKeyScheme::vandrel_v20190601());
    for (auto _ : state) {
        auto sheet = VDCheatSheetWindowController::make(env.dependencies());
        sheet->show();
        benchmark::DoNotOptimize(sheet->window()->grab());
        state.PauseTiming();
        sheet->close();
        sheet.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CheatSheetFirstShowToPaint)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_CheatSheetRedrawToPaint(benchmark::State& state)
{
    auto& env = environment();
    env.activeKeyScheme.accept(BuildInVDKeyScheme::vandrel_v20190601());
    auto sheet = VDCheatSheetWindowController::make(env.dependencies());
    sheet->show();
    for (auto _ : state) {
        env.activeKeyScheme.accept(BuildInVDKeyScheme::vandrel_v20190601());
        env.clock->advanceBy(rx::seconds(VDCheatSheetWindowController::redrawResizeDelay));
        benchmark::DoNotOptimize(sheet->window()->grab());
    }
}
BENCHMARK(BM_CheatSheetRedrawToPaint)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace vandrel

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
