#include "cover/PainterDevice.h"

#include "cover/PrinterFont.h"

#include <QFontMetrics>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPen>

namespace qp {
namespace {

class ImageBitmap final : public DeviceBitmap {
public:
    explicit ImageBitmap(QImage image) : m_image(std::move(image)) {}
    int Width() const override { return m_image.width(); }
    int Height() const override { return m_image.height(); }
    const QImage& Image() const { return m_image; }

private:
    QImage m_image;
};

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

Qt::PenStyle PenStyle(int numberedStyle) {
    switch (numberedStyle) {
    case 1:
        return Qt::DashLine;
    case 2:
        return Qt::DotLine;
    case 3:
        return Qt::DashDotLine;
    case 4:
        return Qt::DashDotDotLine;
    case 5:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

} // namespace

bool PainterDevice::StartDocument() {
    if (!m_painter.begin(&m_device))
        return false;
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform);
    return true;
}

bool PainterDevice::StartPage() {
    if (!m_painter.isActive())
        return false;
    if (m_pageStarted && !m_device.newPage())
        return false;
    m_pageStarted = true;
    return true;
}

bool PainterDevice::EndPage() {
    return m_painter.isActive();
}

bool PainterDevice::EndDocument() {
    return m_painter.isActive() && m_painter.end();
}

int PainterDevice::PageWidth() const {
    return m_device.width();
}

int PainterDevice::PageHeight() const {
    return m_device.height();
}

int PainterDevice::DpiY() const {
    return m_device.logicalDpiY();
}

void PainterDevice::SelectFont(const FontSpec& font) {
    // Every line selects its font again; the face is looked up only when the font changes.
    if (m_fontSpec != font) {
        m_font = PrinterFont(font);
        m_fontSpec = font;
    }
    if (m_painter.isActive())
        m_painter.setFont(m_font);
}

std::optional<TextSize> PainterDevice::MeasureText(std::string_view text) {
    const QFontMetrics metrics(m_font, &m_device);
    return TextSize{metrics.horizontalAdvance(ToQString(text)), metrics.height()};
}

void PainterDevice::DrawText(int x, int y, std::string_view text) {
    if (!m_painter.isActive())
        return;
    const QFontMetrics metrics(m_font, &m_device);
    m_painter.drawText(x, y + metrics.ascent(), ToQString(text));
}

void PainterDevice::DrawLine(int x1, int y1, int x2, int y2, int penStyle) {
    if (!m_painter.isActive())
        return;
    QPen pen(Qt::black, 0, PenStyle(penStyle));
    pen.setCosmetic(true);
    m_painter.save();
    m_painter.setPen(pen);
    m_painter.drawLine(x1, y1, x2, y2);
    m_painter.restore();
}

std::shared_ptr<const DeviceBitmap> PainterDevice::LoadBitmap(const std::string& path) {
    QImage image(QString::fromStdString(path));
    if (image.isNull())
        return nullptr;
    return std::make_shared<ImageBitmap>(std::move(image));
}

std::shared_ptr<const DeviceBitmap> PainterDevice::MakeBitmap(const GreyPicture& picture) {
    if (picture.Empty())
        return nullptr;
    // The image refers to the picture's bytes until it is copied into one of its own.
    const QImage view(picture.pixels.data(), picture.width, picture.height, picture.width,
                      QImage::Format_Grayscale8);
    return std::make_shared<ImageBitmap>(view.copy());
}

bool PainterDevice::DrawBitmap(const DeviceBitmap& bitmap, int x, int y, int width, int height) {
    const auto* image = dynamic_cast<const ImageBitmap*>(&bitmap);
    if (!image || !m_painter.isActive())
        return false;
    m_painter.drawImage(QRect(x, y, width, height), image->Image());
    return true;
}

} // namespace qp
