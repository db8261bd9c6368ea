// What faxes waiting in the outbox cost a start: the time until Start returns (the program goes on
// to its idle loop), and until the outbox's own thread has read every fax, with 1,000 faxes
// against none.
#include "fax/outbox/Outbox.h"
#include "platform/Clock.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// A store of `count` faxes, each with its image and a record due a day from now, so that the
// measured start sends nothing.
class WaitingFaxes {
public:
    explicit WaitingFaxes(int count) {
        char path[] = "/tmp/qp-bench-outbox-XXXXXX";
        m_root = ::mkdtemp(path);
        const qp::JobStore store = Store();
        const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        for (int i = 0; i < count; ++i) {
            std::optional<qp::Job> job = store.Create();
            std::ofstream(job->FaxImage()) << std::string(20000, 'f');
            qp::outbox::Record record;
            record.item.dialled = "555" + std::to_string(i);
            record.item.state = qp::outbox::State::Waiting;
            record.item.queuedAt = now;
            record.item.nextTry = now + 24 * 3600;
            qp::outbox::WriteRecord(job->OutboxStateFile(), record);
        }
    }
    ~WaitingFaxes() { std::filesystem::remove_all(m_root); }
    qp::JobStore Store() const { return qp::JobStore(m_root + "/jobs"); }

private:
    std::string m_root;
};

qp::outbox::Services Idle() {
    qp::outbox::Services services;
    services.upload = [](const qp::outbox::Item&, const std::string&, const qp::UploadProgress&,
                         std::stop_token) { return qp::Outcome::Stopped(); };
    services.record = [](const qp::faxlog::SendAttempt&, const qp::Job&) {
        return qp::faxlog::Recorded{};
    };
    return services;
}

void Measure(benchmark::State& state, bool untilLoaded) {
    const WaitingFaxes faxes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        qp::outbox::Outbox outbox(faxes.Store(), qp::SystemClock(), Idle());
        const auto begin = std::chrono::steady_clock::now();
        outbox.Start();
        if (untilLoaded) {
            while (!outbox.Loaded())
                std::this_thread::yield();
        }
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        if (!untilLoaded) {
            while (!outbox.Loaded())
                std::this_thread::yield();
        }
        benchmark::DoNotOptimize(outbox.Items().size());
    }
}

void BM_OutboxStartReturns(benchmark::State& state) {
    Measure(state, false);
}
BENCHMARK(BM_OutboxStartReturns)->Arg(0)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_OutboxStartUntilAllRead(benchmark::State& state) {
    Measure(state, true);
}
BENCHMARK(BM_OutboxStartUntilAllRead)
    ->Arg(0)
    ->Arg(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
