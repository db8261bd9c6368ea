// Drawing one cover page with a long note through the printer device into a file: the part of
// OK in the cover sheet dialog that is the program's own, before the spooler takes over.
#include "cover/CoverPage.h"
#include "cover/PagePrinter.h"
#include "cover/PrinterDevice.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

namespace {

// Fonts need a GUI application; no display is needed.
void EnsureGuiApplication() {
    static int argc = 1;
    static char name[] = "quillpost-bench";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication app(argc, argv);
    }
}

void BM_CoverPageWithLongNote(benchmark::State& state) {
    EnsureGuiApplication();
    char path[] = "/tmp/qp-bench-cover-XXXXXX";
    ::close(::mkstemp(path));
    qp::CoverFields fields;
    fields.to = "Ann Example";
    fields.re = "Quarterly figures";
    fields.from = "Bob Sender";
    fields.fax = "(555) 010-0199";
    fields.phone = "(555) 010-0100";
    while (fields.notes.size() < 2000)
        fields.notes += "The figures for the quarter follow on the next pages. ";
    fields.notes.resize(2000);
    fields.disclosure = "This fax is meant for the addressee only.";
    for (auto _ : state) {
        CPagePrinter printer(qp::PrinterFileDeviceFactory(path));
        qp::DrawCoverPage(printer, fields, std::string());
    }
    std::remove(path);
}
BENCHMARK(BM_CoverPageWithLongNote)->Unit(benchmark::kMillisecond);

} // namespace
