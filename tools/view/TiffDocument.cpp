#include "tools/view/TiffDocument.h"

#include "fax/PageDecoder.h"
#include "fax/QuietTiff.h"

#include <cstring>

#include <tiffio.h>

namespace qp::view {
namespace {

// Far more pages than any fax, and a page far larger than any fax page: beyond these a file is
// damaged or hostile and is not decoded.
constexpr int kMaxPages = 10000;
constexpr std::uint64_t kMaxPagePixels = 100'000'000;

} // namespace

std::unique_ptr<TiffDocument> TiffDocument::Open(const std::string& path) {
    // libtiff talks about every odd tag on standard error; the viewer says what matters itself.
    TIFF* tiff = OpenTiffQuietly(path, "r");
    if (tiff == nullptr)
        return nullptr;
    std::unique_ptr<TiffDocument> document(new TiffDocument(tiff));
    do {
        PageInfo page;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page.height);
        page.xDpi = DotsPerInch(tiff, TIFFTAG_XRESOLUTION);
        page.yDpi = DotsPerInch(tiff, TIFFTAG_YRESOLUTION);
        document->m_pages.push_back(page);
    } while (document->PageCount() < kMaxPages && TIFFReadDirectory(tiff) == 1);
    if (document->m_pages.front().width == 0 || document->m_pages.front().height == 0)
        return nullptr;
    return document;
}

TiffDocument::~TiffDocument() {
    TIFFClose(m_tiff);
}

QImage TiffDocument::Render(int index, QSize size, std::size_t budget) const {
    const PageInfo& page = Page(index);
    if (page.width == 0 || page.height == 0 ||
        static_cast<std::uint64_t>(page.width) * page.height > kMaxPagePixels ||
        TIFFSetDirectory(m_tiff, static_cast<tdir_t>(index)) != 1)
        return {};
    const QSize pageSize(static_cast<int>(page.width), static_cast<int>(page.height));
    QImage image(size.boundedTo(pageSize).expandedTo(QSize(1, 1)), QImage::Format_Grayscale8);
    if (image.isNull() || static_cast<std::size_t>(image.sizeInBytes()) > budget)
        return {};
    GreyPicture picture = GreyPicture::White(image.width(), image.height());
    if (!DecodeInto(m_tiff, page.width, page.height, budget, picture))
        return {};
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(image.scanLine(y), picture.Row(y), static_cast<std::size_t>(picture.width));
    return image;
}

} // namespace qp::view
