#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

// The cover sheet dialog's logo preview: white, with the logo as the cover page has it, as large as
// the box allows with its proportions kept, at the box's top left corner.
class CPictureBox : public QWidget {
public:
    explicit CPictureBox(QWidget* parent = nullptr);

    // Loads the picture file (nothing shows when it is missing or not a picture) and repaints.
    void SetImage(const QString& path);

    const QString& ImagePath() const { return m_imagePath; }
    bool HasImage() const { return !m_image.isNull(); }
    // Where the picture is drawn; empty when there is none.
    QRect ImageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_imagePath;
    QImage m_image;
};
