#pragma once

#include "cover/DrawingDevice.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qp::test {

// What a recording device was asked to draw, in order. Pages count from 1.
struct DrawnText {
    int page;
    int x;
    int y;
    std::string text;
    FontSpec font;
};
struct DrawnBitmap {
    int page;
    int x;
    int y;
    int width;
    int height;
};
struct DeviceRecord {
    std::vector<DrawnText> texts;
    std::vector<DrawnBitmap> bitmaps;
    std::vector<int> ruleYs;
    int pagesStarted = 0;
    int pagesEnded = 0;
    bool documentEnded = false;

    // The texts drawn with their top at y, in drawing order.
    std::vector<std::string> TextsAt(int y) const;
    const DrawnText* Find(const std::string& text) const;
};

// A printer on paper of the given size whose font draws every character kCharWidth wide and a
// line as high as the font's size; pictures load from any non-empty file, all of one size.
class RecordingDevice final : public DrawingDevice {
public:
    static constexpr int kCharWidth = 10;

    struct Setup {
        int pageWidth = 5100;
        int pageHeight = 6600;
        int dpi = 600;
        bool canStretch = true;
        // The size of every picture loaded.
        int bitmapWidth = 300;
        int bitmapHeight = 60;
        // Runs when the document ends, as a printer would hand the job on.
        std::function<void()> onEndDocument;
    };

    RecordingDevice(DeviceRecord& record, Setup setup)
        : m_record(record), m_setup(std::move(setup)) {}

    // A factory for the page printer that records into `record`.
    static DrawingDeviceFactory Factory(DeviceRecord& record);
    static DrawingDeviceFactory Factory(DeviceRecord& record, Setup setup);

    bool StartDocument() override { return true; }
    bool StartPage() override;
    bool EndPage() override;
    bool EndDocument() override;
    int PageWidth() const override { return m_setup.pageWidth; }
    int PageHeight() const override { return m_setup.pageHeight; }
    int DpiY() const override { return m_setup.dpi; }
    bool CanStretchBitmaps() const override { return m_setup.canStretch; }
    void SelectFont(const FontSpec& font) override { m_font = font; }
    std::optional<TextSize> MeasureText(std::string_view text) override;
    void DrawText(int x, int y, std::string_view text) override;
    void DrawLine(int x1, int y1, int x2, int y2, int penStyle) override;
    std::shared_ptr<const DeviceBitmap> LoadBitmap(const std::string& path) override;
    std::shared_ptr<const DeviceBitmap> MakeBitmap(const GreyPicture& picture) override;
    bool DrawBitmap(const DeviceBitmap& bitmap, int x, int y, int width, int height) override;

private:
    DeviceRecord& m_record;
    Setup m_setup;
    FontSpec m_font;
};

} // namespace qp::test
