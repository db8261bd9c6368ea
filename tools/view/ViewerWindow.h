#pragma once

#include "tools/view/PageGeometry.h"
#include "tools/view/TiffDocument.h"

#include <QMainWindow>
#include <memory>

class QLabel;
class QScrollArea;

namespace qp::view {

class PageCanvas;

// Shows a fax image a page at a time, each page at its true aspect ratio.
// Keys: Page Up/Down, Home, End move between pages; + and - zoom; W fits the width, P the page;
// Escape, Ctrl+W and Ctrl+Q close the window.
class ViewerWindow final : public QMainWindow {
public:
    enum class Fit { Width, Page, None };

    // A page is never held decoded at more than `maxDecodedBytes`.
    ViewerWindow(std::unique_ptr<TiffDocument> document, const QString& title,
                 std::size_t maxDecodedBytes = kMaxDecodedPageBytes);

    int CurrentPage() const { return m_cursor.Current(); }
    double Scale() const { return m_scale; }
    Fit FitMode() const { return m_fit; }
    // The page as drawn, in screen pixels.
    QSize ShownSize() const;
    // The current page as decoded: the whole page when that is small enough, else as shown.
    const QImage& DecodedPage() const { return m_page; }
    QString PageText() const;

    void ShowPage(int index);
    void SetFit(Fit fit);
    void ZoomIn();
    void ZoomOut();

protected:
    // A fitted page follows the size of the area it is shown in.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Redraw();
    void Move(bool moved);

    std::unique_ptr<TiffDocument> m_document;
    PageCursor m_cursor;
    std::size_t m_maxDecodedBytes;
    QImage m_page;           // the current page, decoded at m_decodedSize (null when it failed)
    PixelSize m_decodedSize; // nothing decoded yet when empty
    // A whole page first: what the recipient gets, at a glance.
    Fit m_fit = Fit::Page;
    double m_scale = kMinScale;
    QScrollArea* m_scroll = nullptr;
    PageCanvas* m_canvas = nullptr;
    QLabel* m_pageLabel = nullptr;
};

} // namespace qp::view
