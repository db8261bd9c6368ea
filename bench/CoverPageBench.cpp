// The cover sheet dialog's OK with a long note, up to the moment the dialog closes with the cover
// file in place: the page drawn as PDF off the GUI thread and the outcome back on it. Goal: 200 ms.
#include "bench/GuiApplication.h"
#include "cover/gui/CoverSheetDialog.h"
#include "platform/gui/ControlLookup.h"

#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

std::string LongNote() {
    std::string note;
    while (note.size() < 2000)
        note += "The figures for the quarter follow on the next pages. ";
    note.resize(2000);
    return note;
}

void BM_CoverSheetOkToCoverFile(benchmark::State& state) {
    qp::bench::EnsureGuiApplication();
    char folder[] = "/tmp/qp-bench-cover-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string dir = folder;
    // No logo: the user's own would make the figure depend on its size.
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ::setenv("HOME", folder, 1);
    const qp::Profile profile(dir + "/Quillpost.conf");
    const QString note = QString::fromStdString(LongNote());
    for (auto _ : state) {
        CCoverSheetDialog dialog(profile, dir + "/faxcover.pdf");
        qp::FindControl<QPlainTextEdit>(&dialog, 1014)->setPlainText(note);
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        // A page that could not be drawn leaves the dialog open; the loop does not wait for ever.
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        qp::FindControl<QPushButton>(&dialog, 1)->click();
        loop.exec();
        if (dialog.result() != QDialog::Accepted)
            state.SkipWithError("the cover file was not drawn");
    }
    ::setenv("HOME", home.c_str(), 1);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_CoverSheetOkToCoverFile)->Unit(benchmark::kMillisecond);

} // namespace
