#include "tools/view/PageGeometry.h"

#include <algorithm>

namespace qp::view {
namespace {

constexpr double kFallbackDpi = 200;
// Resolutions outside this range are damage, not a fax.
constexpr double kMinDpi = 10;
constexpr double kMaxDpi = 10000;

bool Plausible(double dpi) {
    return dpi >= kMinDpi && dpi <= kMaxDpi;
}

} // namespace

SizeF PageInches(const PageInfo& page) {
    double x = page.xDpi;
    double y = page.yDpi;
    if (!Plausible(x))
        x = Plausible(y) ? y : kFallbackDpi;
    if (!Plausible(y))
        y = x;
    return {page.width / x, page.height / y};
}

SizeF ScreenSize(const PageInfo& page, double pixelsPerInch) {
    const SizeF inches = PageInches(page);
    return {inches.width * pixelsPerInch, inches.height * pixelsPerInch};
}

double FitWidthScale(const PageInfo& page, double viewportWidth) {
    const SizeF inches = PageInches(page);
    if (inches.width <= 0)
        return kMinScale;
    return std::clamp(viewportWidth / inches.width, kMinScale, kMaxScale);
}

double FitPageScale(const PageInfo& page, double viewportWidth, double viewportHeight) {
    const SizeF inches = PageInches(page);
    if (inches.width <= 0 || inches.height <= 0)
        return kMinScale;
    return std::clamp(std::min(viewportWidth / inches.width, viewportHeight / inches.height),
                      kMinScale, kMaxScale);
}

double ZoomedIn(double scale) {
    return std::clamp(scale * kZoomStep, kMinScale, kMaxScale);
}

double ZoomedOut(double scale) {
    return std::clamp(scale / kZoomStep, kMinScale, kMaxScale);
}

bool PageCursor::MoveTo(int page) {
    if (page < 0 || page >= m_count || page == m_current)
        return false;
    m_current = page;
    return true;
}

} // namespace qp::view
