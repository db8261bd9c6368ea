#include "fax/FaxImageInfo.h"

#include <tiffio.h>

namespace qp::faxlog {
namespace {

// A page count far beyond any fax: a damaged file that loops its directories ends here.
constexpr int kMaxPages = 10000;

} // namespace

int CountTiffPages(const std::string& path) {
    // libtiff reports damage through its handlers; a count of 0 says enough here.
    const TIFFErrorHandler oldError = TIFFSetErrorHandler(nullptr);
    const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(nullptr);
    int pages = 0;
    if (TIFF* tiff = TIFFOpen(path.c_str(), "r")) {
        do {
            ++pages;
        } while (pages < kMaxPages && TIFFReadDirectory(tiff) == 1);
        TIFFClose(tiff);
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    return pages;
}

std::string PagesText(int pages) {
    return std::to_string(pages) + (pages == 1 ? " page" : " pages");
}

} // namespace qp::faxlog
