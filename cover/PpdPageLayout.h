#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qp {

// A printer driver's default page as its PPD gives it: sizes in points (1/72 inch), the imageable
// area counted from the page's lower left corner as PostScript does, and the resolution.
struct PpdPageLayout {
    std::string pageSize; // the option keyword of *DefaultPageSize, e.g. "Letter"
    double width = 0;     // *PaperDimension
    double height = 0;
    double left = 0; // *ImageableArea: lower left x and y, upper right x and y
    double bottom = 0;
    double right = 0;
    double top = 0;
    int dpi = 600; // *DefaultResolution, when the PPD names one

    bool operator==(const PpdPageLayout&) const = default;
};

// The largest PPD text that is read at all.
inline constexpr std::size_t kMaxPpdBytes = 1 << 20;

// The layout of the PPD's default page size. Nothing when the text is larger than kMaxPpdBytes,
// names no default size, lacks that size's paper dimension or imageable area, or when these do not
// make a page (an imageable area outside the paper, say). Lines that cannot be read are passed
// over; the first readable entry for a keyword counts.
std::optional<PpdPageLayout> PageLayoutFromPpd(std::string_view ppd);

// US Letter at 600 dpi with a quarter inch inset on every edge: the page when the driver's PPD
// cannot be read.
PpdPageLayout FallbackPageLayout();

// The fax printer driver's default page, read from the driver's PPD built into the program, so
// that the page is the driver's also where the PPD is not installed.
const PpdPageLayout& DriverPageLayout();

// The driver's PPD (res/gs.ppd) as it was at build time.
std::string_view DriverPpdText();

} // namespace qp
