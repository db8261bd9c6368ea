#include "fax/FaxImageInfo.h"

#include "fax/QuietTiff.h"

#include <tiffio.h>

namespace qp::faxlog {
namespace {

// A page count far beyond any fax: a damaged file that loops its directories ends here.
constexpr int kMaxPages = 10000;

} // namespace

int CountTiffPages(const std::string& path) {
    // libtiff would report damage on standard error; a count of 0 says enough here.
    int pages = 0;
    if (TIFF* tiff = OpenTiffQuietly(path, "r")) {
        do {
            ++pages;
        } while (pages < kMaxPages && TIFFReadDirectory(tiff) == 1);
        TIFFClose(tiff);
    }
    return pages;
}

std::string PagesText(int pages) {
    return std::to_string(pages) + (pages == 1 ? " page" : " pages");
}

} // namespace qp::faxlog
