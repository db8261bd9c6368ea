#pragma once

#include "base/GreyPicture.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qp {

// One font of a page printer's font set; the size is the character height in device pixels. A
// fixed-pitch font asks for a face of even widths above the face named.
struct FontSpec {
    std::string face;
    int pixelSize = 0;
    int weight = 400;
    bool fixedPitch = false;

    bool operator==(const FontSpec&) const = default;
};

struct TextSize {
    int width = 0;
    int height = 0;
};

// A picture loaded by a device, ready to be drawn on it.
class DeviceBitmap {
public:
    virtual ~DeviceBitmap() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
};

// What the page printer needs of a printer: a document of pages, its size and resolution, text
// with its measurement, a thin line and scaled pictures. Coordinates are device pixels from the
// top left of the printable area; text is UTF-8 and drawn with its top at y.
class DrawingDevice {
public:
    virtual ~DrawingDevice() = default;

    virtual bool StartDocument() = 0;
    virtual bool StartPage() = 0;
    virtual bool EndPage() = 0;
    virtual bool EndDocument() = 0;

    virtual int PageWidth() const = 0;
    virtual int PageHeight() const = 0;
    virtual int DpiY() const = 0;
    // Whether pictures can be stretched onto the device at all.
    virtual bool CanStretchBitmaps() const = 0;

    virtual void SelectFont(const FontSpec& font) = 0;
    // Size of the text in the selected font; nothing when it cannot be measured.
    virtual std::optional<TextSize> MeasureText(std::string_view text) = 0;
    virtual void DrawText(int x, int y, std::string_view text) = 0;
    // A black line of the thinnest width the device draws, in a numbered pen style
    // (0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none).
    virtual void DrawLine(int x1, int y1, int x2, int y2, int penStyle) = 0;

    // Nothing when the file is missing or not a picture.
    virtual std::shared_ptr<const DeviceBitmap> LoadBitmap(const std::string& path) = 0;
    // A picture made in memory, ready to be drawn; nothing where the device cannot take one.
    virtual std::shared_ptr<const DeviceBitmap> MakeBitmap(const GreyPicture&) { return nullptr; }
    // The whole picture scaled to the rectangle as given.
    virtual bool DrawBitmap(const DeviceBitmap& bitmap, int x, int y, int width, int height) = 0;
};

// Opens the printer of the given name as a drawing device, or gives nothing.
using DrawingDeviceFactory =
    std::function<std::unique_ptr<DrawingDevice>(const std::string& printerName)>;

// (a * b) / c rounded to the nearest integer, halves away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

} // namespace qp
