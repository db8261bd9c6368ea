#pragma once

namespace qp {

struct PictureSize {
    int width = 0;
    int height = 0;

    bool operator==(const PictureSize&) const = default;
};

// The largest size of the picture's shape that fits the box: a logo keeps its proportions on the
// cover page and in its preview, larger or smaller than the box. Each side is at least one unit;
// nothing for a picture or box without area.
PictureSize FitInBox(PictureSize picture, PictureSize box);

} // namespace qp
