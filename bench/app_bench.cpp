// One start of the program on the simulated platform, from the delegate's construction to the engine started and
// the deferred work done, with the program's own steps (logging, database, services, tray menu, updater) in
// fresh folders. Each step's duration is a counter, in milliseconds; the program's debug line lists them too.
//
// Target: the steps before the keyboards are taken (up to "engine start") under 1 s together, in a VM.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "app/program_steps.h"
#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

bool ranStep(const AppDelegate& delegate, const std::string& name)
{
    for (const auto& step : delegate.startupSteps().steps())
        if (step.name == name) return true;
    return false;
}

void BM_StartUpOnTheSimulatedPlatform(benchmark::State& state)
{
    std::vector<StartupSteps::Step> steps;
    for (auto _ : state) {
        AppDelegate::Options options = programSteps();
        options.arguments = {"vandrel"};
        options.makePlatform = [] { return std::shared_ptr<Platform>(SimPlatform::make()); };
        // A start measured, not a welcome read.
        options.showFirstLaunchDialog = [] {};
        AppDelegate delegate(std::move(options));
        delegate.applicationDidFinishLaunching();
        QElapsedTimer waited;
        waited.start();
        while (!ranStep(delegate, "usage session") && waited.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!ranStep(delegate, "usage session")) state.SkipWithError("the start did not finish within 30 s");
        steps = delegate.startupSteps().steps();
        delegate.applicationWillTerminate();
    }
    for (const auto& step : steps)
        state.counters[step.name] = std::chrono::duration<double, std::milli>(step.duration).count();
}
BENCHMARK(BM_StartUpOnTheSimulatedPlatform)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace vandrel

int main(int argc, char** argv)
{
    // Fresh folders: a start never touches the user's own settings or data.
    QTemporaryDir home;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const std::string folder = (home.path() + "/" + name).toStdString();
        setenv(name, folder.c_str(), 1);
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
