#pragma once

#include "tools/view/PageGeometry.h"
#include "tools/view/TiffDocument.h"

#include <QMainWindow>
#include <memory>

class QLabel;
class QScrollArea;

namespace qp::view {

// Shows a fax image a page at a time, each page at its true aspect ratio.
// Keys: Page Up/Down, Home, End move between pages; + and - zoom; W fits the width, P the page;
// Escape, Ctrl+W and Ctrl+Q close the window.
class ViewerWindow final : public QMainWindow {
public:
    enum class Fit { Width, Page, None };

    ViewerWindow(std::unique_ptr<TiffDocument> document, const QString& title);

    int CurrentPage() const { return m_cursor.Current(); }
    double Scale() const { return m_scale; }
    Fit FitMode() const { return m_fit; }
    // The page as drawn, in screen pixels.
    QSize ShownSize() const;
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
    QImage m_page; // the current page's pixels as stored
    // A whole page first: what the recipient gets, at a glance.
    Fit m_fit = Fit::Page;
    double m_scale = kMinScale;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_canvas = nullptr;
    QLabel* m_pageLabel = nullptr;
};

} // namespace qp::view
