#pragma once

#include "base/GreyPicture.h"

#include <optional>
#include <string>

namespace qp {

// Page 1 of the fax image at `tiffPath`, reduced to fit `maxWidth` x `maxHeight` with the page's
// proportions on paper kept (a Normal page has half as many rows per inch as columns); never
// larger than the page itself. Nothing when the file is not a readable TIFF image.
std::optional<GreyPicture> ReducedFirstPage(const std::string& tiffPath, int maxWidth,
                                            int maxHeight);

} // namespace qp
