// Hotstrings: the replacement of a short typed expression ("price 12*3 =", split, the evaluator process
// started, evaluated, the number rounded), reported as median and p99 in milliseconds; and how long after its
// limit an endless expression is stopped, the watchdog on its own queue as in the program (the interruption
// latency: wall time of the evaluation less the limit).
#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "clip/hotstring.h"
#include "core/serial_queue.h"

namespace vandrel {
namespace {

using Clock = std::chrono::steady_clock;

void report(benchmark::State& state, std::vector<double>& ms)
{
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) return;
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
}

Hotstring makeHotstring(rx::Duration limit = Hotstring::kEvaluationLimit)
{
    Hotstring::Options options;
    options.watchdogScheduler = SerialQueue::make("tqm.Vandrel.hotstringWatchdog");
    options.evaluationLimit = limit;
    options.showError = [](const std::string&) {};
    options.evaluatorPath = VANDREL_EVALUATOR_PATH;
    return Hotstring(std::move(options));
}

// The answer of an asynchronous call, the event loop run until it comes.
std::optional<std::string> answerOf(const std::function<void(Hotstring::Answer)>& call)
{
    std::optional<std::optional<std::string>> result;
    QEventLoop loop;
    call([&](std::optional<std::string> value) {
        result = std::move(value);
        loop.quit();
    });
    if (!result) loop.exec();
    return *result;
}

void BM_MultiGetShortExpression(benchmark::State& state)
{
    const Hotstring hotstring = makeHotstring();
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto replaced = answerOf([&](Hotstring::Answer answer) { hotstring.multiGet("price 12*3 =", answer); });
        const double took = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        benchmark::DoNotOptimize(replaced);
        if (replaced != "price 12*3 =36") state.SkipWithError("wrong replacement");
        ms.push_back(took);
        state.SetIterationTime(took / 1000);
    }
    report(state, ms);
}
BENCHMARK(BM_MultiGetShortExpression)->UseManualTime()->Iterations(300)->Unit(benchmark::kMillisecond);

void BM_EndlessExpressionInterruption(benchmark::State& state)
{
    const auto limit = std::chrono::milliseconds(100);
    const Hotstring hotstring = makeHotstring(limit);
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto value = answerOf([&](Hotstring::Answer answer) { hotstring.evaluate("while (true) {}", answer); });
        const double took = std::chrono::duration<double, std::milli>(Clock::now() - start - limit).count();
        if (value) state.SkipWithError("an endless expression gave a value");
        ms.push_back(took);
        state.SetIterationTime(took / 1000);
    }
    report(state, ms);
}
BENCHMARK(BM_EndlessExpressionInterruption)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vandrel
