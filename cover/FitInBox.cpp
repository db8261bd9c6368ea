#include "cover/FitInBox.h"

#include "cover/DrawingDevice.h"

#include <algorithm>
#include <cstdint>

namespace qp {

PictureSize FitInBox(PictureSize picture, PictureSize box) {
    if (picture.width <= 0 || picture.height <= 0 || box.width <= 0 || box.height <= 0)
        return {};
    // Compared crosswise, so no rounding decides which side meets the box.
    const bool widthMeetsBox = static_cast<std::int64_t>(picture.width) * box.height >=
                               static_cast<std::int64_t>(picture.height) * box.width;
    if (widthMeetsBox)
        return {box.width, std::max(1, MulDiv(picture.height, box.width, picture.width))};
    return {std::max(1, MulDiv(picture.width, box.height, picture.height)), box.height};
}

} // namespace qp
