#pragma once

#include <cstdint>

namespace qp::view {

// One page of a fax image as stored: pixels, and pixels per inch across and down. Fax pages are
// often not square-pixelled: a Normal page has 204 across but only 98 down.
struct PageInfo {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    double xDpi = 0;
    double yDpi = 0;
};

struct SizeF {
    double width = 0;
    double height = 0;
};

// The page's size on paper, in inches; an unknown or absurd resolution counts as square pixels
// at the other one (or at 200 when neither is known).
SizeF PageInches(const PageInfo& page);

// The page drawn at `pixelsPerInch` on screen, at its true aspect ratio.
SizeF ScreenSize(const PageInfo& page, double pixelsPerInch);

// The scale (screen pixels per inch) at which the page fills the viewport's width, or fits whole.
double FitWidthScale(const PageInfo& page, double viewportWidth);
double FitPageScale(const PageInfo& page, double viewportWidth, double viewportHeight);

// A size in whole pixels.
struct PixelSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// Bytes of an 8-bit grey image of this size, each row padded to four bytes as QImage keeps it.
std::uint64_t GreyBytes(PixelSize size);

// The size to decode a page at to show it `shown` pixels large. The whole page when that takes at
// most `maxBytes`, so that zooming only scales it; else no more than is shown (never more than the
// page has), shrunk further, aspect kept, until it takes at most `maxBytes`.
PixelSize DecodeSize(const PageInfo& page, PixelSize shown, std::uint64_t maxBytes);

// One step of zooming in or out from `scale`, kept within sensible bounds.
double ZoomedIn(double scale);
double ZoomedOut(double scale);

inline constexpr double kZoomStep = 1.25;
inline constexpr double kMinScale = 10;   // a Letter page about 85 pixels wide
inline constexpr double kMaxScale = 1200; // four times a 300 dpi page

// Which page is shown of how many; moving beyond either end stays at the end.
class PageCursor {
public:
    explicit PageCursor(int count = 0) : m_count(count) {}
    int Count() const { return m_count; }
    int Current() const { return m_current; }
    bool Next() { return MoveTo(m_current + 1); }
    bool Previous() { return MoveTo(m_current - 1); }
    bool First() { return MoveTo(0); }
    bool Last() { return MoveTo(m_count - 1); }
    // False when the page does not exist or is already shown.
    bool MoveTo(int page);

private:
    int m_count;
    int m_current = 0;
};

} // namespace qp::view
