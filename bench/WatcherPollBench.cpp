// The cost of one watcher poll on a waiting job: status read plus the owner check.
#include "capture/FaxMonitor.h"
#include "platform/FileOps.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace {

void BM_PollWaitingJob(benchmark::State& state) {
    char path[] = "/tmp/qp-bench-job-XXXXXX";
    ::close(::mkstemp(path));
    std::ofstream(path) << "%!PS\nshowpage\n";
    for (auto _ : state) {
        auto size = qp::FileSize(path);
        bool owned = FaxMonitor::IsOwnedByThisUser(path);
        benchmark::DoNotOptimize(size);
        benchmark::DoNotOptimize(owned);
    }
    std::remove(path);
}
BENCHMARK(BM_PollWaitingJob);

} // namespace
