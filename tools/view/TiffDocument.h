#pragma once

#include "tools/view/PageGeometry.h"

#include <QImage>
#include <memory>
#include <string>
#include <vector>

typedef struct tiff TIFF;

namespace qp::view {

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
    // The page's pixels as stored (not yet corrected for its aspect ratio); null when damaged.
    QImage Render(int index) const;

private:
    explicit TiffDocument(TIFF* tiff) : m_tiff(tiff) {}

    TIFF* m_tiff;
    std::vector<PageInfo> m_pages;
};

} // namespace qp::view
