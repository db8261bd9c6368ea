// How long the GUI thread goes without its events while the outbox retries a fax: the client as
// start-up wires it, its window open on the outbox list (which each try refreshes), and a fax
// whose every try is refused by a loopback port. Goal: "max_gap_ms" stays under 50 ms.
#include "bench/BenchImage.h"
#include "bench/ClientRig.h"
#include "bench/GuiApplication.h"
#include "bench/Heartbeat.h"
#include "fax/outbox/Outbox.h"
#include "tests/support/Loopback.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <optional>
#include <vector>

namespace {

constexpr std::size_t kImageBytes = 200 * 1024;

// The fax's tries so far; -1 while it is not waiting for its next one.
int TriesWhenWaiting(const qp::outbox::Outbox& outbox) {
    const std::vector<qp::outbox::Item> items = outbox.Items();
    if (items.size() != 1 || items[0].state != qp::outbox::State::Waiting)
        return -1;
    return items[0].tries;
}

void BM_GuiGapWhileTheOutboxRetries(benchmark::State& state) {
    qp::bench::EnsureGuiApplication();
    const qp::test::RefusingPort refusing;
    qp::bench::ClientRig client(refusing.Port());
    if (!client.StartWatcher() || client.Services().Outbox() == nullptr) {
        state.SkipWithError("the outbox did not start");
        return;
    }
    qp::outbox::Outbox& outbox = *client.Services().Outbox();
    std::optional<qp::Job> job = qp::JobStore::ForUser().Create();
    const std::string image = qp::bench::ImageOfSize(kImageBytes);
    std::filesystem::copy_file(image, job->FaxImage());
    std::filesystem::remove(image);
    qp::outbox::Item fax;
    fax.typed = fax.dialled = "5551234567";
    if (!qp::bench::PumpUntil([&] { return outbox.Loaded(); }) || !outbox.Add(*job, fax)) {
        state.SkipWithError("the fax did not enter the outbox");
        return;
    }
    client.Services().ShowOutbox();
    double longest = 0;
    for (auto _ : state) {
        const int before = std::max(TriesWhenWaiting(outbox), 0);
        const qp::bench::Heartbeat heartbeat([] { return "retry"; });
        outbox.BringForward();
        if (!qp::bench::PumpUntil([&] { return TriesWhenWaiting(outbox) > before; })) {
            state.SkipWithError("the outbox made no try");
            break;
        }
        // The window's refresh for the try comes after it.
        heartbeat.Pause();
        longest = std::max(longest, heartbeat.LongestGaps().at("retry"));
    }
    state.counters["max_gap_ms"] = longest;
    state.counters["tries"] = TriesWhenWaiting(outbox);
}
BENCHMARK(BM_GuiGapWhileTheOutboxRetries)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

} // namespace
