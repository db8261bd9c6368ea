#include "cover/PictureBox.h"

#include <QPainter>

CPictureBox::CPictureBox(QWidget* parent) : QWidget(parent) {}

void CPictureBox::SetImage(const QString& path) {
    m_imagePath = path;
    m_image = path.isEmpty() ? QImage() : QImage(path);
    update();
}

void CPictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_imagePath.isEmpty() && !m_image.isNull())
        painter.drawImage(rect(), m_image);
}
