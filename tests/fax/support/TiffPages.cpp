#include "tests/fax/support/TiffPages.h"

#include "fax/QuietTiff.h"

#include <bitset>
#include <tiffio.h>
#include <vector>

namespace qp::test {
namespace {

double Ink(TIFF* tiff, const TiffPage& page) {
    std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    std::vector<unsigned char> row(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
    std::uint64_t black = 0;
    std::uint64_t total = 0;
    // CCITT rows can only be decoded in order, so every row is read and every 8th counted.
    for (std::uint32_t y = 0; y < page.height; ++y) {
        if (TIFFReadScanline(tiff, row.data(), y, 0) < 0)
            return -1;
        if (y % 8 != 0)
            continue;
        for (std::uint32_t x = 0; x < page.width; ++x) {
            const bool bit = (row[x / 8] >> (7 - x % 8)) & 1;
            black += (bit == (photometric == PHOTOMETRIC_MINISWHITE)) ? 1 : 0;
        }
        total += page.width;
    }
    return total == 0 ? 0 : static_cast<double>(black) / static_cast<double>(total);
}

} // namespace

std::vector<TiffPage> ReadTiffPages(const std::string& path) {
    std::vector<TiffPage> pages;
    TIFF* tiff = OpenTiffQuietly(path, "r");
    if (tiff == nullptr)
        return pages;
    do {
        TiffPage page;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page.height);
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &page.compression);
        TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &page.xResolution);
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &page.yResolution);
        page.ink = Ink(tiff, page);
        pages.push_back(page);
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    return pages;
}

void WriteTiffPages(const std::string& path, int pages, std::uint16_t compression) {
    WriteTiffPages(path, pages, 64, 8, 204, 196, compression);
}

void WriteGhostscriptOutput(const std::vector<std::string>& argv) {
    const std::string option = "-sOutputFile=";
    for (const std::string& arg : argv) {
        if (arg.rfind(option, 0) == 0)
            WriteTiffPages(arg.substr(option.size()), 1);
    }
}

bool WriteTiffPages(const std::string& path, int pages, std::uint32_t width, std::uint32_t height,
                    float xResolution, float yResolution, std::uint16_t compression) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr)
        return false;
    const std::uint32_t bandRows = height / 10;
    std::vector<unsigned char> black((width + 7) / 8, 0xFF);
    std::vector<unsigned char> white((width + 7) / 8, 0x00);
    bool ok = true;
    for (int page = 0; ok && page < pages; ++page) {
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, xResolution);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, yResolution);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tiff, TIFFTAG_PAGENUMBER, page, pages);
        for (std::uint32_t y = 0; ok && y < height; ++y)
            ok = TIFFWriteScanline(tiff, (y < bandRows ? black : white).data(), y, 0) >= 0;
        ok = ok && TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
    return ok;
}

} // namespace qp::test
