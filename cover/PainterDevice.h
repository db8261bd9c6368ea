#pragma once

#include "cover/DrawingDevice.h"

#include <QFont>
#include <QPainter>

class QPagedPaintDevice;

namespace qp {

// A drawing device over Qt's paged paint devices (a printer, a PDF file): the document is one
// QPainter session, text is measured with the font on that device, pictures are QImages.
class PainterDevice : public DrawingDevice {
public:
    explicit PainterDevice(QPagedPaintDevice& device) : m_device(device) {}

    bool StartDocument() override;
    bool StartPage() override;
    bool EndPage() override;
    bool EndDocument() override;
    int PageWidth() const override;
    int PageHeight() const override;
    int DpiY() const override;
    bool CanStretchBitmaps() const override { return true; }
    void SelectFont(const FontSpec& font) override;
    std::optional<TextSize> MeasureText(std::string_view text) override;
    void DrawText(int x, int y, std::string_view text) override;
    void DrawLine(int x1, int y1, int x2, int y2, int penStyle) override;
    std::shared_ptr<const DeviceBitmap> LoadBitmap(const std::string& path) override;
    std::shared_ptr<const DeviceBitmap> MakeBitmap(const GreyPicture& picture) override;
    bool DrawBitmap(const DeviceBitmap& bitmap, int x, int y, int width, int height) override;

private:
    QPagedPaintDevice& m_device;
    QPainter m_painter;
    QFont m_font;
    std::optional<FontSpec> m_fontSpec;
    // The painter's session opens the first page itself; later pages are asked for.
    bool m_pageStarted = false;
};

} // namespace qp
