// Scheme loading and the per-key lookup of the action table.
//
// Targets: decoding a stored scheme of 100 settings under 1 ms; looking a key up in a built table under
// 100 ns. The table compared here is the one the engine's action table should use: the stored form's map from key
// id text, against a map from keybit that spares building the id text on every key event.
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "model/vd_key_scheme.h"

namespace vandrel {
namespace {

using P = VDAtomicActionParam;

const std::vector<VDActionPtr>& actions()
{
    static const std::vector<VDActionPtr> all = [] {
        std::vector<VDActionPtr> out;
        for (int i = 0; i < 20; ++i)
            out.push_back(VDAction::make("bench.action" + std::to_string(i), "Action", VDActionGroup::movement)
                              ->addMultiKeyCombo(126, {}, 1)
                              ->appendToQueryDisc());
        return out;
    }();
    return all;
}

VDKeySchemePtr schemeOf(int count)
{
    VDKeyScheme::KeySettings settings;
    for (int i = 0; i < count; ++i) {
        const ModifierSet modifiers = i % 2 ? ModifierSet{57, 56} : ModifierSet{57};
        std::vector<P> params;
        if (i % 3 == 0) params.push_back(P::times(i));
        if (i % 5 == 0) params.push_back(P::windowBindingId(i % 10));
        settings.push_back(VDKeySetting::make(VDKey(i % 50, modifiers), actions()[i % actions().size()], params));
    }
    return VDKeyScheme::make("Bench", "A scheme of many settings", VDKeySchemeType::custom, std::move(settings));
}

void BM_DecodeScheme100(benchmark::State& state)
{
    const std::string text = *schemeOf(100)->toJsonText();
    for (auto _ : state) {
        auto scheme = VDKeyScheme::fromJsonText(text);
        benchmark::DoNotOptimize(scheme.ok());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeScheme100)->Unit(benchmark::kMicrosecond);

void BM_EncodeScheme100(benchmark::State& state)
{
    const auto scheme = schemeOf(100);
    for (auto _ : state) benchmark::DoNotOptimize(scheme->toJsonText());
}
BENCHMARK(BM_EncodeScheme100)->Unit(benchmark::kMicrosecond);

struct Entry {
    VDActionPtr action;
    std::vector<P> params;
};

// A Caps combination as the deliverer sees it: Caps plus Shift plus the key.
const KeyEvent kEvent{KeyEventType::keyDown, 37, EventFlags::maskAlphaShift | EventFlags::maskShift};

void BM_LookupById(benchmark::State& state)
{
    std::unordered_map<std::string, Entry> table;
    for (const auto& s : schemeOf(100)->keySettings.value()) table[s->key().id()] = {s->action(), s->paramSequence()};
    for (auto _ : state) {
        const VDKey key(kEvent);
        auto it = table.find(key.id());
        benchmark::DoNotOptimize(it);
    }
}
BENCHMARK(BM_LookupById);

void BM_LookupByKeybit(benchmark::State& state)
{
    std::unordered_map<std::int64_t, Entry> table;
    for (const auto& s : schemeOf(100)->keySettings.value())
        table[s->key().keybit()] = {s->action(), s->paramSequence()};
    for (auto _ : state) {
        const VDKey key(kEvent);
        auto it = table.find(key.keybit());
        benchmark::DoNotOptimize(it);
    }
}
BENCHMARK(BM_LookupByKeybit);

void BM_ConflictUpdate100(benchmark::State& state)
{
    const auto scheme = schemeOf(100);
    const auto settings = scheme->keySettings.value();
    for (auto _ : state) scheme->keySettings.accept(settings);
}
BENCHMARK(BM_ConflictUpdate100)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vandrel
