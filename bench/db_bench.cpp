// Storing clips through writeAsync on the database queue. Target: 10,000 clips in under 0.5 s in all.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "clip/realm_migration_handlers.h"
#include "clip/vd_clipboard.h"
#include "core/dispatch_queues.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

void BM_WriteAsync10000Clips(benchmark::State& state)
{
    constexpr int kClips = 10000;
    RealmMigrationHandlers::registerWithRealm();
    for (auto _ : state) {
        std::random_device seed;
        const fs::path folder = fs::temp_directory_path() / ("vandrel-bench-db-" + std::to_string(seed()));
        Realm::setCustomConfig(folder);
        Realm::forgetOpenedFiles();
        auto realm = *Realm::open();
        const VDClipboard board{0, 3};
        realm->write([&] { VDClipboard::add(*realm, board); });

        std::string firstFailure;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kClips; ++i) {
            VDClip clip;
            clip.savedHash = std::to_string(i);
            clip.dataHash = std::to_string(i * 7919);
            clip.dataPath = (folder / "cache/clip" / (std::to_string(i) + ".data")).string();
            clip.stringData = "clip number " + std::to_string(i);
            clip.primaryType = "public.utf8-plain-text";
            clip.updateTime = 1700000000 + i;
            realm->writeAsync(
                board, [&](const RealmError& e) { firstFailure.empty() ? void(firstFailure = e.what()) : void(); },
                [clip](Realm& r, VDClipboard& b) { b.appendToHistory(r, clip); });
        }
        DispatchQueues::realm()->sync([] {});
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());

        const auto stored = board.clipHistory(*realm).size();
        std::printf("%d clips through writeAsync: %.3f s (target < 0.5 s), %zu stored\n", kClips, elapsed.count(),
                    stored);
        if (!firstFailure.empty()) std::printf("first failure: %s\n", firstFailure.c_str());
        if (stored != kClips) state.SkipWithError("not every clip was stored");
        realm.reset();
        Realm::forgetOpenedFiles();
        fs::remove_all(folder);
    }
}
BENCHMARK(BM_WriteAsync10000Clips)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vandrel
