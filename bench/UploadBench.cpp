// How fast the upload hands an image to the connection, protocol and progress reports included,
// with a connection that costs nothing: what remains is the client's own overhead.
#include "bench/SinkConnection.h"
#include "fax/Upload.h"
#include "platform/MessageBox.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using qp::bench::ImageOfSize;
using qp::bench::SinkConnector;

void BM_UploadImage(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    const std::string image = qp::bench::ImageOfSize(size);
    qp::StderrMessageSink sink;
    qp::ScopedMessageSink scoped(sink);
    SinkConnector connector;
    const qp::AccountSettings account{"127.0.0.1", 7541, "5550100", "2468", ""};
    std::uint64_t reports = 0;
    for (auto _ : state) {
        bool ok = qp::UploadFax(
                      account, "5551234567", "", image,
                      [&](std::uint64_t, std::uint64_t) { ++reports; }, connector)
                      .ok;
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["progress_reports"] =
        benchmark::Counter(static_cast<double>(reports), benchmark::Counter::kAvgIterations);
    std::remove(image.c_str());
}
BENCHMARK(BM_UploadImage)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20);

} // namespace
