#include "tools/view/ViewerWindow.h"

#include "tools/view/PageCanvas.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace qp::view {
namespace {

constexpr int kInitialWidth = 760;
constexpr int kInitialHeight = 900;
// At most this share of the screen, so that the first page is seen whole.
constexpr double kScreenShare = 0.9;
// Room the scroll bars and the frame take from the viewport when fitting.
constexpr int kFitMargin = 4;

} // namespace

ViewerWindow::ViewerWindow(std::unique_ptr<TiffDocument> document, const QString& title,
                           std::size_t maxDecodedBytes)
    : m_document(std::move(document)), m_cursor(m_document->PageCount()),
      m_maxDecodedBytes(maxDecodedBytes) {
    setWindowTitle(title);
    const QSize room = screen()->availableGeometry().size() * kScreenShare;
    resize(std::min(kInitialWidth, room.width()), std::min(kInitialHeight, room.height()));

    m_canvas = new PageCanvas;
    m_scroll = new QScrollArea(this);
    m_scroll->setWidget(m_canvas);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    setCentralWidget(m_scroll);
    m_scroll->viewport()->installEventFilter(this);

    QToolBar* bar = addToolBar(QStringLiteral("Pages"));
    bar->setMovable(false);
    bar->addAction(QStringLiteral("First"), this, [this] { Move(m_cursor.First()); });
    bar->addAction(QStringLiteral("Previous"), this, [this] { Move(m_cursor.Previous()); });
    m_pageLabel = new QLabel;
    m_pageLabel->setContentsMargins(8, 0, 8, 0);
    bar->addWidget(m_pageLabel);
    bar->addAction(QStringLiteral("Next"), this, [this] { Move(m_cursor.Next()); });
    bar->addAction(QStringLiteral("Last"), this, [this] { Move(m_cursor.Last()); });
    bar->addSeparator();
    bar->addAction(QStringLiteral("Zoom Out"), this, [this] { ZoomOut(); });
    bar->addAction(QStringLiteral("Zoom In"), this, [this] { ZoomIn(); });
    bar->addAction(QStringLiteral("Fit Width"), this, [this] { SetFit(Fit::Width); });
    bar->addAction(QStringLiteral("Fit Page"), this, [this] { SetFit(Fit::Page); });

    // Window-wide, so that the scroll area does not take these keys for scrolling.
    const std::pair<QKeySequence, std::function<void()>> keys[] = {
        {Qt::Key_PageDown, [this] { Move(m_cursor.Next()); }},
        {Qt::Key_PageUp, [this] { Move(m_cursor.Previous()); }},
        {Qt::Key_Home, [this] { Move(m_cursor.First()); }},
        {Qt::Key_End, [this] { Move(m_cursor.Last()); }},
        {Qt::Key_Plus, [this] { ZoomIn(); }},
        {Qt::Key_Equal, [this] { ZoomIn(); }},
        {Qt::Key_Minus, [this] { ZoomOut(); }},
        {Qt::Key_W, [this] { SetFit(Fit::Width); }},
        {Qt::Key_P, [this] { SetFit(Fit::Page); }},
        {Qt::Key_Escape, [this] { close(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_W), [this] { close(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); }},
    };
    for (const auto& [key, action] : keys)
        connect(new QShortcut(key, this), &QShortcut::activated, this, action);

    ShowPage(0);
}

QString ViewerWindow::PageText() const {
    return QStringLiteral("Page %1 of %2").arg(m_cursor.Current() + 1).arg(m_cursor.Count());
}

QSize ViewerWindow::ShownSize() const {
    const SizeF size = ScreenSize(m_document->Page(m_cursor.Current()), m_scale);
    // No widget grows beyond QWIDGETSIZE_MAX; an absurd page is drawn squeezed to that.
    const auto pixels = [](double length) {
        return static_cast<int>(std::clamp(std::round(length), 1.0, double{QWIDGETSIZE_MAX}));
    };
    return {pixels(size.width), pixels(size.height)};
}

void ViewerWindow::ShowPage(int index) {
    m_cursor.MoveTo(index);
    m_page = QImage();
    m_decodedSize = {};
    m_pageLabel->setText(PageText());
    Redraw();
    m_scroll->verticalScrollBar()->setValue(0);
}

void ViewerWindow::Move(bool moved) {
    if (moved)
        ShowPage(m_cursor.Current());
}

void ViewerWindow::SetFit(Fit fit) {
    m_fit = fit;
    Redraw();
}

void ViewerWindow::ZoomIn() {
    m_scale = ZoomedIn(m_scale);
    m_fit = Fit::None;
    Redraw();
}

void ViewerWindow::ZoomOut() {
    m_scale = ZoomedOut(m_scale);
    m_fit = Fit::None;
    Redraw();
}

void ViewerWindow::Redraw() {
    const PageInfo& page = m_document->Page(m_cursor.Current());
    const QSize viewport = m_scroll->viewport()->size() - QSize(kFitMargin, kFitMargin);
    if (m_fit == Fit::Width)
        m_scale = FitWidthScale(page, viewport.width() -
                                          m_scroll->verticalScrollBar()->sizeHint().width());
    else if (m_fit == Fit::Page)
        m_scale = FitPageScale(page, viewport.width(), viewport.height());
    const QSize shown = ShownSize();
    const PixelSize wanted = DecodeSize(
        page,
        {static_cast<std::uint32_t>(shown.width()), static_cast<std::uint32_t>(shown.height())},
        m_maxDecodedBytes);
    if (wanted != m_decodedSize) {
        // The old page goes before the new one is decoded, not after.
        m_page = QImage();
        m_page = m_document->Render(
            m_cursor.Current(),
            QSize(static_cast<int>(wanted.width), static_cast<int>(wanted.height)),
            m_maxDecodedBytes);
        m_decodedSize = wanted;
    }
    if (m_page.isNull()) {
        m_canvas->SetText(QStringLiteral("This page cannot be shown."));
        return;
    }
    // Scaled to the true aspect ratio: a Normal page's rows are drawn twice as tall as its columns
    // are wide. Only ever scaled down here, so that the copy is never larger than the page decoded;
    // the canvas stretches it further where it is shown larger.
    m_canvas->SetPicture(m_page.scaled(shown.boundedTo(m_page.size()), Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation),
                         shown);
}

bool ViewerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_fit != Fit::None)
        Redraw();
    return QMainWindow::eventFilter(watched, event);
}

} // namespace qp::view
