#pragma once

#include "base/GreyPicture.h"

#include <cstddef>
#include <cstdint>

typedef struct tiff TIFF;

namespace qp {

// Decodes the page that `tiff` is set to (`width` x `height` pixels) into `out`, a picture (its
// size set, at least 1 x 1) no larger than the page, each of its pixels the average of the page
// pixels it covers. The page is read a row at a time and folded in as it comes, so no more of it is
// held than one row, whatever its size. Layouts that libtiff decodes only as whole RGBA pages
// (tiles, separate planes, colour spaces other than grey, palette and RGB) are decoded so when that
// takes at most `budget` bytes. False for a damaged page, or one too large for these limits.
bool DecodeInto(TIFF* tiff, std::uint32_t width, std::uint32_t height, std::size_t budget,
                GreyPicture& out);

// The page's dots per inch along the TIFF resolution tag given; 0 when it does not say.
double DotsPerInch(TIFF* tiff, std::uint32_t tag);

} // namespace qp
