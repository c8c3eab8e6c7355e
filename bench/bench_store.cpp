// storeReport cost at 1, 1000 and 5000 records: the binary-search lookup
// beside the linear scan, on the same table and the same report sequence.
#include <benchmark/benchmark.h>

#include "console/tagStore.h"

namespace {

void fill(TagStore& store, int records)
{
    store.clear();
    for (int i = 0; i < records; ++i)
        store.report(uint32_t(i) * 7u, i % 34, 0, -40, nullptr, 0);
}

template <bool bySearch>
void storeReport(benchmark::State& state)
{
    const int records = int(state.range(0));
    TagStore store;
    fill(store, records);
    const uint8_t extra[2] = {1, 2};
    uint32_t k = 0;
    for (auto _ : state) {
        // Updates of known tags spread over the whole table.
        const uint32_t i = (k++ * 2654435761u) % uint32_t(records);
        if (bySearch)
            store.report(i * 7u, int(i % 34), 2 << 5, -50, extra, 2);
        else
            store.reportByScan(i * 7u, int(i % 34), 2 << 5, -50, extra, 2);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void ageTick(benchmark::State& state)
{
    TagStore store;
    fill(store, int(state.range(0)));
    for (auto _ : state)
        store.ageTick();
}

}  // namespace

BENCHMARK_TEMPLATE(storeReport, true)->Name("storeReport/binarySearch")->Arg(1)->Arg(1000)->Arg(5000);
BENCHMARK_TEMPLATE(storeReport, false)->Name("storeReport/linearScan")->Arg(1)->Arg(1000)->Arg(5000);
BENCHMARK(ageTick)->Arg(5000);

BENCHMARK_MAIN();
