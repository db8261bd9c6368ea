#include "fax/PageDecoder.h"

#include <algorithm>
#include <cstring>
#include <tiffio.h>
#include <vector>

namespace qp {
namespace {

// The grey of a colour, weighted as the eye sees it (Qt's qGray).
int Gray(int red, int green, int blue) {
    return (red * 11 + green * 16 + blue * 5) / 32;
}

// One row of the page as libtiff reads it, and how to take a grey value from it.
struct Samples {
    std::uint16_t bits = 8;
    std::uint16_t perPixel = 1;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    const std::uint16_t* colormap[3] = {};

    unsigned Raw(const std::uint8_t* row, std::uint64_t index) const {
        switch (bits) {
        case 8:
            return row[index];
        case 16: {
            std::uint16_t value = 0;
            std::memcpy(&value, row + index * 2, sizeof value);
            return value;
        }
        default: {
            // 1, 2 or 4 bits, the first sample in the high bits of a byte.
            const std::uint64_t bit = index * bits;
            const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
            return (row[bit / 8] >> shift) & ((1u << bits) - 1);
        }
        }
    }
    int Level(const std::uint8_t* row, std::uint64_t index) const {
        const unsigned value = Raw(row, index);
        return static_cast<int>(bits == 16 ? value >> 8 : value * 255 / ((1u << bits) - 1));
    }
    int Grey(const std::uint8_t* row, std::uint32_t x) const {
        const std::uint64_t first = static_cast<std::uint64_t>(x) * perPixel;
        switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
            return 255 - Level(row, first);
        case PHOTOMETRIC_RGB:
            return Gray(Level(row, first), Level(row, first + 1), Level(row, first + 2));
        case PHOTOMETRIC_PALETTE: {
            const unsigned entry = Raw(row, first);
            return Gray(colormap[0][entry] >> 8, colormap[1][entry] >> 8, colormap[2][entry] >> 8);
        }
        default:
            return Level(row, first);
        }
    }
};

// Whether libtiff can hand the page over a row at a time in a layout `Samples` reads.
bool ReadableByRows(TIFF* tiff, Samples& samples) {
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &samples.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples.perPixel);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &samples.photometric) != 1)
        return false;
    if (TIFFIsTiled(tiff) || format != SAMPLEFORMAT_UINT ||
        (planar != PLANARCONFIG_CONTIG && samples.perPixel > 1))
        return false;
    if (samples.photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG &&
        samples.bits == 8) {
        // The JPEG decoder turns such rows into RGB itself.
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        samples.photometric = PHOTOMETRIC_RGB;
    }
    const std::uint16_t bits = samples.bits;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
        return false;
    switch (samples.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        return samples.perPixel >= 1;
    case PHOTOMETRIC_RGB:
        return samples.perPixel >= 3;
    case PHOTOMETRIC_PALETTE:
        return samples.perPixel == 1 && bits <= 8 &&
               TIFFGetField(tiff, TIFFTAG_COLORMAP, &samples.colormap[0], &samples.colormap[1],
                            &samples.colormap[2]) == 1;
    default:
        return false;
    }
}

// Folds the page's rows, as `nextRow` brings them top to bottom, into `out`: every pixel of `out`
// covers a box of page pixels and gets their average.
template <typename NextRow, typename GreyAt>
bool Fold(std::uint32_t width, std::uint32_t height, GreyPicture& out, NextRow nextRow,
          GreyAt greyAt) {
    const auto outWidth = static_cast<std::uint32_t>(out.width);
    const auto outHeight = static_cast<std::uint32_t>(out.height);
    std::vector<std::uint32_t> edges(outWidth + 1);
    for (std::uint32_t x = 0; x <= outWidth; ++x)
        edges[x] = static_cast<std::uint32_t>(std::uint64_t{x} * width / outWidth);
    std::vector<std::uint64_t> sums(outWidth);
    std::uint32_t y = 0;
    for (std::uint32_t outY = 0; outY < outHeight; ++outY) {
        const auto last = static_cast<std::uint32_t>(std::uint64_t{outY + 1} * height / outHeight);
        const std::uint64_t rows = last - y;
        std::fill(sums.begin(), sums.end(), 0);
        for (; y < last; ++y) {
            const std::uint8_t* row = nextRow(y);
            if (row == nullptr)
                return false;
            // A page decoded at its own width: no boxes to walk.
            if (outWidth == width) {
                for (std::uint32_t x = 0; x < width; ++x)
                    sums[x] += static_cast<std::uint64_t>(greyAt(row, x));
                continue;
            }
            std::uint32_t x = 0;
            for (std::uint32_t outX = 0; outX < outWidth; ++outX) {
                std::uint64_t sum = 0;
                for (; x < edges[outX + 1]; ++x)
                    sum += static_cast<std::uint64_t>(greyAt(row, x));
                sums[outX] += sum;
            }
        }
        std::uint8_t* line = out.Row(static_cast<int>(outY));
        for (std::uint32_t outX = 0; outX < outWidth; ++outX) {
            // A page decoded at its own size divides by one: that division is skipped.
            const std::uint64_t count = (edges[outX + 1] - edges[outX]) * rows;
            line[outX] = static_cast<std::uint8_t>(count == 1 ? sums[outX]
                                                              : (sums[outX] + count / 2) / count);
        }
    }
    return true;
}

} // namespace

bool DecodeInto(TIFF* tiff, std::uint32_t width, std::uint32_t height, std::size_t budget,
                GreyPicture& out) {
    if (out.width < 1 || out.height < 1 || static_cast<std::uint32_t>(out.width) > width ||
        static_cast<std::uint32_t>(out.height) > height ||
        out.pixels.size() != static_cast<std::size_t>(out.width) * out.height)
        return false;
    Samples samples;
    if (ReadableByRows(tiff, samples)) {
        const tmsize_t rowSize = TIFFScanlineSize(tiff);
        if (rowSize <= 0 || static_cast<std::uint64_t>(rowSize) > budget)
            return false;
        std::vector<std::uint8_t> row(static_cast<std::size_t>(rowSize));
        const auto readRow = [&](std::uint32_t y) {
            return TIFFReadScanline(tiff, row.data(), y, 0) == 1 ? row.data() : nullptr;
        };
        // Grey pages of one bit (every fax) and of one byte per pixel are read through a table
        // of their values, several times faster than taking each sample apart.
        const bool grey = samples.photometric == PHOTOMETRIC_MINISWHITE ||
                          samples.photometric == PHOTOMETRIC_MINISBLACK;
        if (grey && (samples.bits == 1 || samples.bits == 8)) {
            std::uint8_t greys[256];
            for (unsigned value = 0; value < (1u << samples.bits); ++value) {
                const std::uint8_t level =
                    static_cast<std::uint8_t>(value * 255 / ((1u << samples.bits) - 1));
                greys[value] = samples.photometric == PHOTOMETRIC_MINISWHITE ? 255 - level : level;
            }
            const std::size_t step = samples.perPixel;
            if (samples.bits == 8)
                return Fold(width, height, out, readRow,
                            [&](const std::uint8_t* line, std::uint32_t x) {
                                return greys[line[x * step]];
                            });
            if (step == 1)
                return Fold(width, height, out, readRow,
                            [&](const std::uint8_t* line, std::uint32_t x) {
                                return greys[(line[x >> 3] >> (7 - (x & 7))) & 1];
                            });
        }
        return Fold(width, height, out, readRow, [&](const std::uint8_t* line, std::uint32_t x) {
            return samples.Grey(line, x);
        });
    }
    if (std::uint64_t{width} * height * 4 > budget)
        return false;
    std::vector<std::uint32_t> page(std::size_t{width} * height);
    if (TIFFReadRGBAImageOriented(tiff, width, height, page.data(), ORIENTATION_TOPLEFT, 0) != 1)
        return false;
    return Fold(
        width, height, out,
        [&](std::uint32_t y) {
            return reinterpret_cast<const std::uint8_t*>(page.data() + std::size_t{y} * width);
        },
        [](const std::uint8_t* line, std::uint32_t x) {
            const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(line)[x];
            return Gray(static_cast<int>(TIFFGetR(pixel)), static_cast<int>(TIFFGetG(pixel)),
                        static_cast<int>(TIFFGetB(pixel)));
        });
}

double DotsPerInch(TIFF* tiff, std::uint32_t tag) {
    float value = 0;
    if (TIFFGetField(tiff, tag, &value) != 1)
        return 0;
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    return unit == RESUNIT_CENTIMETER ? value * 2.54 : value;
}

} // namespace qp
