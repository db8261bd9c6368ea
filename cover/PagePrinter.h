#pragma once

#include "cover/DrawingDevice.h"

#include <array>
#include <memory>
#include <string>

// Draws a document top to bottom on a printer: a current vertical position (the pen) and margins,
// sets of fonts, text that wraps at the right margin and breaks pages at the bottom margin, a
// horizontal rule and a picture fitted into a box. Positions are device pixels; the top margin,
// line spacing, font sizes and picture box heights are points (1/72 inch) at the device's dpi.
class CPagePrinter {
public:
    // Flags of PrintText and alignments of DrawBitmap.
    static constexpr int PT_CENTER = 1;
    static constexpr int PT_LEFT = 2;
    static constexpr int PT_RIGHT = 4;
    static constexpr int PT_NOADVANCE = 8;

    static constexpr int kMaxFontSets = 10;
    static constexpr int kStylesPerSet = 4;
    // Styles of a font set.
    static constexpr int kRegular = 0;
    static constexpr int kBold = 1;
    static constexpr int kRegularSecondSize = 2;
    static constexpr int kBoldSecondSize = 3;

    explicit CPagePrinter(qp::DrawingDeviceFactory openDevice);

    // Each returns 0, or -1 on failure.
    int OpenPrinterDC(const std::string& printerName, int copies);
    int BeginDocument();
    int BeginPage();
    // -1 keeps a margin as it is. The pen goes to the top margin.
    int SetMargins(int topPoints, int bottom, int left, int right);
    // Index of the new set, or -1 when all sets are taken.
    int AddFontSet(const std::string& face, int sizePoints, int secondSizePoints);
    // The loaded picture as large as the box allows with its proportions kept, at the box's top
    // left corner; the box is placed by `align` and `offset`. The pen does not move.
    int DrawBitmap(int align, int boxWidth, int boxHeightPoints, int offset);

    void SetLineSpacing(int points) { m_lineSpacing = points; }
    void SelectFontStyle(int set, int style);
    void PrintText(int set, const std::string& text, int flags, int offset);
    void DrawRule(int penStyle);
    void LoadBitmapFile(const std::string& path);
    // Holds a picture made in memory as the one DrawBitmap draws, as LoadBitmapFile does a file's.
    void UsePicture(const qp::GreyPicture& picture);
    void MoveDown(int units) { m_pen += units; }
    void SetY(int units) { m_pen = units; }
    void EndCurrentPage();
    void EndDocument();

    int Pen() const { return m_pen; }

private:
    int Points(int points) const;
    int TopMargin() const { return Points(m_marginTop); }
    void NewPage();
    bool ValidSet(int set) const { return set >= 0 && set < m_fontSetCount; }

    qp::DrawingDeviceFactory m_openDevice;
    std::unique_ptr<qp::DrawingDevice> m_device;
    int m_copies = 1;
    int m_fontSetCount = 0;
    int m_pageWidth = 0;
    int m_pageHeight = 0;
    std::array<std::array<qp::FontSpec, kStylesPerSet>, kMaxFontSets> m_fonts{};
    int m_marginTop = 0; // points
    int m_marginBottom = 0;
    int m_marginLeft = 0;
    int m_marginRight = 0;
    std::array<int, kMaxFontSets> m_currentStyle{};
    int m_pen = 0;
    int m_lineSpacing = 0; // points
    int m_currentSet = -1;
    std::string m_bitmapPath;
    std::shared_ptr<const qp::DeviceBitmap> m_bitmap;
};
