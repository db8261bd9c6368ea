// How fast the upload hands an image to the connection, protocol and progress reports included,
// with a connection that costs nothing: what remains is the client's own overhead.
#include "bench/BenchImage.h"
#include "fax/Upload.h"
#include "platform/MessageBox.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

class SinkStream final : public qp::ByteStream {
public:
    qp::IoResult Read(char* buffer, std::size_t capacity) override {
        // Each server turn is one success line followed by the empty line that ends the reply.
        static const std::string reply = "success: ok\r\n\r\n";
        std::size_t n = std::min(capacity, reply.size());
        reply.copy(buffer, n);
        return {qp::IoStatus::Ok, n, 0};
    }
    qp::IoResult Write(const char*, std::size_t size) override {
        written += size;
        ++writes;
        return {qp::IoStatus::Ok, size, 0};
    }
    void StartReply() override {}
    qp::IoResult Drain() override { return {}; }
    std::size_t written = 0;
    std::size_t writes = 0;
};

class SinkConnector final : public qp::Connector {
public:
    qp::Connection Connect(const std::string&, int) override {
        qp::Connection connection;
        connection.stream = std::make_unique<SinkStream>();
        return connection;
    }
};

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
            account, "5551234567", "", image, [&](std::uint64_t, std::uint64_t) { ++reports; },
            connector);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["progress_reports"] =
        benchmark::Counter(static_cast<double>(reports), benchmark::Counter::kAvgIterations);
    std::remove(image.c_str());
}
BENCHMARK(BM_UploadImage)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20);

} // namespace
