#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace qp::view {

// The page as the window shows it: its picture stretched over the whole widget, drawn only where
// the widget is exposed, so that a page zoomed far in costs no more memory than the window does.
// Without a picture, a line of text in its place.
class PageCanvas final : public QWidget {
public:
    using QWidget::QWidget;

    // The widget takes the size `shown`; the picture may be smaller, and is stretched to fill it.
    void SetPicture(QImage picture, QSize shown);
    void SetText(const QString& text);
    const QImage& Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    QString m_text;
};

} // namespace qp::view
