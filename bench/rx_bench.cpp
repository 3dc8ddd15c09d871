// Emission costs of subjects and relays. Each benchmark also reports the heap allocations per
// emission ("allocs"), which must stay 0: values are pushed on the key path.
#include <benchmark/benchmark.h>

#include "allocation_count.h"
#include "rx/subjects.h"

namespace {

using namespace vandrel::rx;

void reportAllocations(benchmark::State& state, long long before)
{
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(static_cast<long long>(vandrel::bench::allocationsSoFar()) - before),
                           benchmark::Counter::kAvgIterations);
}

void PublishSubjectOnNext(benchmark::State& state)
{
    PublishSubject<int> subject;
    long long sum = 0;
    DisposeBag bag;
    for (int i = 0; i < state.range(0); ++i) subject.subscribe([&sum](int v) { sum += v; }).disposed(bag);
    const long long before = static_cast<long long>(vandrel::bench::allocationsSoFar());
    int v = 0;
    for (auto _ : state) subject.onNext(++v);
    reportAllocations(state, before);
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(PublishSubjectOnNext)->Arg(1)->Arg(3);

void BehaviorRelayAccept(benchmark::State& state)
{
    BehaviorRelay<int> relay(0);
    long long sum = 0;
    auto d = relay.subscribe([&sum](int v) { sum += v; });
    const long long before = static_cast<long long>(vandrel::bench::allocationsSoFar());
    int v = 0;
    for (auto _ : state) relay.accept(++v);
    reportAllocations(state, before);
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BehaviorRelayAccept);

void BehaviorRelayValue(benchmark::State& state)
{
    BehaviorRelay<int> relay(7);
    const long long before = static_cast<long long>(vandrel::bench::allocationsSoFar());
    for (auto _ : state) benchmark::DoNotOptimize(relay.value());
    reportAllocations(state, before);
}
BENCHMARK(BehaviorRelayValue);

}  // namespace
