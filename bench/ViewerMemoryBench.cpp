// Memory quillpost-view takes to show a hostile page, one pixel wide and 100,000,000 tall (the
// largest page it opens), fitted whole and then fitted to the window's width, where it is drawn
// as tall as a widget can be. Reports the process's peak resident size before and after each, and
// the size the page was decoded at; and the time an ordinary fax page takes to decode.
#include "bench/GuiApplication.h"
#include "tests/fax/support/TiffPages.h"
#include "tools/view/TiffDocument.h"
#include "tools/view/ViewerWindow.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <tiffio.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kHeight = 100'000'000;

const std::string& Page() {
    static const std::string path = [] {
        char name[] = "/tmp/qp-view-bench-XXXXXX";
        ::close(::mkstemp(name));
        qp::test::WriteTiffPages(name, 1, 1, kHeight, 204, 196);
        return std::string(name);
    }();
    return path;
}

double PeakRssMb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;
}

void BM_ShowThreadOfAPage(benchmark::State& state) {
    state.counters["peak_rss_before_MB"] = PeakRssMb();
    for (auto _ : state) {
        auto window = std::make_unique<qp::view::ViewerWindow>(qp::view::TiffDocument::Open(Page()),
                                                               "thread.tif");
        window->show();
        QApplication::processEvents();
        const QSize fitted = window->DecodedPage().size();
        state.counters["fit_page_decoded_rows"] = fitted.height();
        state.counters["fit_page_peak_rss_MB"] = PeakRssMb();
        window->SetFit(qp::view::ViewerWindow::Fit::Width);
        QApplication::processEvents();
        state.counters["fit_width_decoded_rows"] = window->DecodedPage().height();
        state.counters["fit_width_shown_rows"] = window->ShownSize().height();
        state.counters["fit_width_peak_rss_MB"] = PeakRssMb();
    }
}
BENCHMARK(BM_ShowThreadOfAPage)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// An ordinary Fine fax page decoded whole, row by row, against libtiff's whole-page RGBA decoding
// that the viewer used before.
const std::string& FaxPage() {
    static const std::string path = [] {
        char name[] = "/tmp/qp-view-bench-XXXXXX";
        ::close(::mkstemp(name));
        qp::test::WriteTiffPages(name, 1, 1728, 2156, 204, 196);
        return std::string(name);
    }();
    return path;
}

void BM_DecodeFaxPageByRows(benchmark::State& state) {
    const auto document = qp::view::TiffDocument::Open(FaxPage());
    for (auto _ : state)
        benchmark::DoNotOptimize(document->Render(0, QSize(1728, 2156)));
}
BENCHMARK(BM_DecodeFaxPageByRows)->Unit(benchmark::kMillisecond);

void BM_DecodeFaxPageAsRgba(benchmark::State& state) {
    TIFF* tiff = TIFFOpen(FaxPage().c_str(), "r");
    for (auto _ : state) {
        QImage image(1728, 2156, QImage::Format_RGBA8888);
        TIFFReadRGBAImageOriented(tiff, 1728, 2156, reinterpret_cast<std::uint32_t*>(image.bits()),
                                  ORIENTATION_TOPLEFT, 0);
        benchmark::DoNotOptimize(image.convertToFormat(QImage::Format_Grayscale8));
    }
    TIFFClose(tiff);
}
BENCHMARK(BM_DecodeFaxPageAsRgba)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qp::bench::EnsureGuiApplication();
    benchmark::Initialize(&argc, argv);
    Page(); // written before the clock starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(Page().c_str());
    std::remove(FaxPage().c_str());
    return 0;
}
