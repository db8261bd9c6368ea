// How long the GUI thread goes without its events while a send dialog does its work: a 10 ms
// timer on the GUI thread keeps the longest gap between two of its ticks while the dialog draws a
// cover page, converts a printed document with Ghostscript, uploads the image to a real
// quillpost-faxd over loopback and writes its log entry. Goal: "max_gap_ms" never above 100 ms;
// the other counters say in which part of the work the longest gap of each began.
#include "bench/ClientRig.h"
#include "bench/GuiApplication.h"
#include "bench/Heartbeat.h"
#include "cover/gui/CoverSheetDialog.h"
#include "fax/gui/FaxDialog.h"
#include "platform/gui/ControlLookup.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/SamplePostScript.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace {

constexpr int kPages = 4;

using qp::bench::Heartbeat;

// The send's part named by the dialog's state; the dialog is gone from the list once it closed.
const char* PartOfTheSend(const FaxDialog* dialog) {
    switch (dialog != nullptr ? dialog->CurrentState() : FaxDialog::State::Ended) {
    case FaxDialog::State::Converting:
        return "convert";
    case FaxDialog::State::Uploading:
        return "upload";
    case FaxDialog::State::Recording:
        return "log";
    case FaxDialog::State::Ended:
        return "close";
    default:
        return "send";
    }
}

void BM_GuiHeartbeatWhileSending(benchmark::State& state) {
    qp::bench::EnsureGuiApplication();
    qp::test::TempDir serverFolder;
    qp::test::FaxdProcess server(serverFolder.Path(), "5550100 2468\n");
    qp::bench::ClientRig client(server.Port());
    if (!client.StartWatcher()) {
        state.SkipWithError("the watcher did not start");
        return;
    }
    const std::string document = qp::test::TextPostScript(kPages);
    std::map<std::string, double> longest;
    for (auto _ : state) {
        client.Print(document);
        if (!qp::bench::PumpUntil([&] { return client.OpenDialogs() == 1; })) {
            state.SkipWithError("no send dialog opened");
            break;
        }
        FaxDialog* const dialog = client.OpenDialog();
        bool sending = false;
        const Heartbeat heartbeat(
            [&] { return sending ? PartOfTheSend(client.OpenDialog()) : "cover"; });

        qp::FindControl<QPushButton>(dialog, 1011)->click();
        auto* sheet = dynamic_cast<CCoverSheetDialog*>(QApplication::activeModalWidget());
        if (sheet == nullptr) {
            state.SkipWithError("no cover sheet opened");
            break;
        }
        heartbeat.Pause();
        sheet->findChild<QLineEdit*>("toEdit")->setText("Accounts Payable");
        sheet->findChild<QPushButton*>("okButton")->click();
        if (!qp::bench::PumpUntil([] { return QApplication::activeModalWidget() == nullptr; })) {
            state.SkipWithError("the cover page was not drawn");
            break;
        }

        sending = true;
        heartbeat.Pause();
        qp::FindControl<QComboBox>(dialog, 1000)->lineEdit()->setText("5551234567");
        qp::FindControl<QPushButton>(dialog, 1)->click();
        // To the end of the dialog's life, which comes after it has closed.
        const QPointer<FaxDialog> alive(dialog);
        if (!qp::bench::PumpUntil([&] { return alive.isNull(); })) {
            state.SkipWithError("the fax was not sent");
            break;
        }
        for (const auto& [part, gap] : heartbeat.LongestGaps())
            longest[part] = std::max(longest[part], gap);
    }
    double worst = 0;
    for (const auto& [part, gap] : longest) {
        state.counters["max_gap_" + part + "_ms"] = gap;
        worst = std::max(worst, gap);
    }
    state.counters["max_gap_ms"] = worst;
    state.counters["faxes_stored"] = static_cast<double>(server.Stored(".tif").size());
}
BENCHMARK(BM_GuiHeartbeatWhileSending)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
