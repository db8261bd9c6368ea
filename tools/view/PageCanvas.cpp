#include "tools/view/PageCanvas.h"

#include <QPaintEvent>
#include <QPainter>

namespace qp::view {
namespace {

constexpr int kTextMargin = 16;

} // namespace

void PageCanvas::SetPicture(QImage picture, QSize shown) {
    m_picture = std::move(picture);
    m_text.clear();
    resize(shown);
    update();
}

void PageCanvas::SetText(const QString& text) {
    m_picture = QImage();
    m_text = text;
    resize(fontMetrics().size(0, text) + QSize(kTextMargin, kTextMargin));
    update();
}

void PageCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.drawText(rect(), Qt::AlignCenter, m_text);
        return;
    }
    painter.setClipRegion(event->region());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(rect()), m_picture);
}

} // namespace qp::view
