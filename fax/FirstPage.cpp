#include "fax/FirstPage.h"

#include "fax/PageDecoder.h"
#include "fax/QuietTiff.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <tiffio.h>

namespace qp {
namespace {

// A page far larger than any fax page is damaged or hostile: it is not decoded.
constexpr std::uint64_t kMaxPagePixels = 100'000'000;
// What decoding may hold at once beyond the picture: rows of the largest page, or a whole page of
// a layout libtiff decodes only in one piece.
constexpr std::size_t kDecodeBudget = 64 * 1024 * 1024;

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

} // namespace

std::optional<GreyPicture> ReducedFirstPage(const std::string& tiffPath, int maxWidth,
                                            int maxHeight) {
    if (maxWidth < 1 || maxHeight < 1)
        return std::nullopt;
    const std::unique_ptr<TIFF, TiffCloser> tiff(OpenTiffQuietly(tiffPath, "r"));
    if (!tiff)
        return std::nullopt;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || std::uint64_t{width} * height > kMaxPagePixels)
        return std::nullopt;
    const double xDpi = DotsPerInch(tiff.get(), TIFFTAG_XRESOLUTION);
    const double yDpi = DotsPerInch(tiff.get(), TIFFTAG_YRESOLUTION);
    // Height over width on paper; square pixels when the file does not say.
    const double tall = (xDpi > 0 && yDpi > 0) ? (height / yDpi) / (width / xDpi)
                                               : static_cast<double>(height) / width;
    double outWidth = std::min<double>(maxWidth, width);
    double outHeight = outWidth * tall;
    if (outHeight > maxHeight) {
        outHeight = maxHeight;
        outWidth = outHeight / tall;
    }
    const auto fit = [](double value, std::uint32_t limit) {
        return static_cast<int>(std::clamp<double>(std::lround(value), 1, limit));
    };
    GreyPicture picture = GreyPicture::White(fit(outWidth, width), fit(outHeight, height));
    if (!DecodeInto(tiff.get(), width, height, kDecodeBudget, picture))
        return std::nullopt;
    return picture;
}

} // namespace qp
