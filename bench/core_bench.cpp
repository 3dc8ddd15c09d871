// Foundation costs on the key path. Targets: a typed settings read under 200 ns; a log call below every
// destination's level under 50 ns (nothing is formatted).
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <filesystem>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log.h"
#include "core/settings_store.h"

namespace {

using namespace vandrel;

class CountingDestination final : public LogDestination {
public:
    void write(const LogRecord&) override { ++written; }
    long written = 0;
};

struct Settings {
    Settings() : store(std::make_shared<SettingsStore>(std::filesystem::path(dir.path().toStdString())))
    {
        store->set(DefaultsKeys::clip_isPastePlainText, true);
        store->set(DefaultsKeys::hotkey_currentKeyScheme, std::string("Work"));
        for (int i = 0; i < 40; ++i) store->setObject(i, "filler_" + std::to_string(i));
        installDefaults(store);
    }
    QTemporaryDir dir;
    std::shared_ptr<SettingsStore> store;
};

Settings& settings()
{
    static Settings instance;
    return instance;
}

void BM_SettingsReadBool(benchmark::State& state)
{
    auto& store = *settings().store;
    for (auto _ : state) benchmark::DoNotOptimize(store.get(DefaultsKeys::clip_isPastePlainText));
}
BENCHMARK(BM_SettingsReadBool);

void BM_SettingsReadDefaultThroughGlobal(benchmark::State& state)
{
    settings();
    for (auto _ : state) {
        const bool pinned = Defaults()[DefaultsKeys::cheatSheet_isWindowPined];
        benchmark::DoNotOptimize(pinned);
    }
}
BENCHMARK(BM_SettingsReadDefaultThroughGlobal);

void BM_SettingsReadString(benchmark::State& state)
{
    auto& store = *settings().store;
    for (auto _ : state) benchmark::DoNotOptimize(store.get(DefaultsKeys::hotkey_currentKeyScheme));
}
BENCHMARK(BM_SettingsReadString);

void BM_LogBelowEveryLevel(benchmark::State& state)
{
    auto destination = std::make_shared<CountingDestination>();
    destination->setMinLevel(LogLevel::error);
    vandrel::log.addDestination(destination);
    int value = 7;
    for (auto _ : state) {
        vandrel::log.debug("key event ->", value);
        vandrel::log.verbose("key event");
        benchmark::ClobberMemory();
    }
    vandrel::log.removeDestination(destination);
    if (destination->written != 0) state.SkipWithError("a message below the level was written");
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_LogBelowEveryLevel);

}  // namespace
