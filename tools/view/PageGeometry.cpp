#include "tools/view/PageGeometry.h"

#include <algorithm>
#include <cmath>

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

std::uint64_t GreyBytes(PixelSize size) {
    return ((std::uint64_t{size.width} + 3) & ~std::uint64_t{3}) * size.height;
}

PixelSize DecodeSize(const PageInfo& page, PixelSize shown, std::uint64_t maxBytes) {
    const PixelSize whole{page.width, page.height};
    if (GreyBytes(whole) <= maxBytes)
        return whole;
    PixelSize size{
        std::clamp<std::uint32_t>(shown.width, 1, std::max<std::uint32_t>(page.width, 1)),
        std::clamp<std::uint32_t>(shown.height, 1, std::max<std::uint32_t>(page.height, 1))};
    if (GreyBytes(size) <= maxBytes)
        return size;
    const double factor = std::sqrt(static_cast<double>(maxBytes) / GreyBytes(size));
    size.width = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(size.width * factor));
    // A row takes at least four bytes: a page one pixel wide gives up only height.
    const std::uint64_t rows = maxBytes / GreyBytes({size.width, 1});
    size.height = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
        static_cast<std::uint64_t>(size.height * factor), 1, std::max<std::uint64_t>(rows, 1)));
    return size;
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
