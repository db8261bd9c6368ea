#include "cover/gui/PictureBox.h"

#include "cover/FitInBox.h"

#include <QPainter>

CPictureBox::CPictureBox(QWidget* parent) : QWidget(parent) {}

void CPictureBox::SetImage(const QString& path) {
    m_imagePath = path;
    m_image = path.isEmpty() ? QImage() : QImage(path);
    update();
}

QRect CPictureBox::ImageRect() const {
    if (m_imagePath.isEmpty() || m_image.isNull())
        return {};
    const qp::PictureSize fitted =
        qp::FitInBox({m_image.width(), m_image.height()}, {width(), height()});
    return {0, 0, fitted.width, fitted.height};
}

void CPictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRect drawn = ImageRect();
    if (drawn.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(drawn, m_image);
}
