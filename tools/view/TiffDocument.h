#pragma once

#include "tools/view/PageGeometry.h"

#include <QImage>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

typedef struct tiff TIFF;

namespace qp::view {

// What a page may take decoded: at most this is ever held of one, so a page whose full size would
// take more is decoded straight into the size it is shown at.
inline constexpr std::size_t kMaxDecodedPageBytes = 64u * 1024 * 1024;

// A multi-page TIFF file opened for viewing. Pages are decoded one at a time, when shown.
class TiffDocument {
public:
    // Nothing when the file cannot be read as a TIFF image with at least one page.
    static std::unique_ptr<TiffDocument> Open(const std::string& path);
    ~TiffDocument();
    TiffDocument(const TiffDocument&) = delete;
    TiffDocument& operator=(const TiffDocument&) = delete;

    int PageCount() const { return static_cast<int>(m_pages.size()); }
    const PageInfo& Page(int index) const { return m_pages.at(static_cast<std::size_t>(index)); }
    // The page in grey, scaled down to `size` (not beyond the page's own size, and not yet
    // corrected for its aspect ratio), each pixel the average of those it covers; decoding holds at
    // most `budget` bytes besides the result. Null when damaged or too large for that.
    QImage Render(int index, QSize size, std::size_t budget = kMaxDecodedPageBytes) const;

private:
    explicit TiffDocument(TIFF* tiff) : m_tiff(tiff) {}

    TIFF* m_tiff;
    std::vector<PageInfo> m_pages;
};

} // namespace qp::view
