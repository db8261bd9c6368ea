#include "cover/PagePrinter.h"

#include "cover/FitInBox.h"
#include "platform/Utf8Text.h"

#include <cstdint>

namespace {

constexpr int kRegularWeight = 400;
constexpr int kBoldWeight = 700;
constexpr bool kFixedPitch = true;
// A line broken at a space keeps at most this many characters after the space in the chunk;
// otherwise the word is cut where the line is full.
constexpr std::size_t kMaxBreakDistance = 20;
constexpr int kPointsPerInch = 72;

} // namespace

namespace qp {

int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t half = (c < 0 ? -static_cast<std::int64_t>(c) : c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t magnitude = (product < 0 ? -product : product) + half;
    const std::int64_t quotient = magnitude / (c < 0 ? -static_cast<std::int64_t>(c) : c);
    return static_cast<int>(negative ? -quotient : quotient);
}

} // namespace qp

CPagePrinter::CPagePrinter(qp::DrawingDeviceFactory openDevice)
    : m_openDevice(std::move(openDevice)) {
    m_currentStyle.fill(-1);
}

int CPagePrinter::Points(int points) const {
    return m_device ? qp::MulDiv(points, m_device->DpiY(), kPointsPerInch) : 0;
}

int CPagePrinter::OpenPrinterDC(const std::string& printerName, int copies) {
    m_copies = copies;
    m_device = m_openDevice ? m_openDevice(printerName) : nullptr;
    return m_device ? 0 : -1;
}

int CPagePrinter::BeginDocument() {
    if (!m_device || !m_device->StartDocument())
        return -1;
    m_pageWidth = m_device->PageWidth();
    m_pageHeight = m_device->PageHeight();
    return 0;
}

int CPagePrinter::BeginPage() {
    if (!m_device || !m_device->StartPage())
        return -1;
    m_pen = TopMargin();
    return 0;
}

void CPagePrinter::NewPage() {
    m_device->EndPage();
    m_device->StartPage();
    m_pen = TopMargin();
}

int CPagePrinter::SetMargins(int topPoints, int bottom, int left, int right) {
    if (topPoints != -1)
        m_marginTop = topPoints;
    if (bottom != -1)
        m_marginBottom = bottom;
    if (left != -1)
        m_marginLeft = left;
    if (right != -1)
        m_marginRight = right;
    m_pen = TopMargin();
    return 0;
}

int CPagePrinter::AddFontSet(const std::string& face, int sizePoints, int secondSizePoints) {
    if (m_fontSetCount >= kMaxFontSets)
        return -1;
    const int set = m_fontSetCount;
    const int size = Points(sizePoints);
    const int secondSize = Points(secondSizePoints);
    // Every set asks for a fixed pitch, whatever its face: a printer that has no fixed-pitch face
    // of that name answers with one of its own, and the page's lines are measured in it.
    m_fonts[set] = {qp::FontSpec{face, size, kRegularWeight, kFixedPitch},
                    qp::FontSpec{face, size, kBoldWeight, kFixedPitch},
                    qp::FontSpec{face, secondSize, kRegularWeight, kFixedPitch},
                    qp::FontSpec{face, secondSize, kBoldWeight, kFixedPitch}};
    ++m_fontSetCount;
    SelectFontStyle(set, kRegular);
    m_currentSet = set;
    return set;
}

void CPagePrinter::SelectFontStyle(int set, int style) {
    if (!ValidSet(set) || style < 0 || style >= kStylesPerSet)
        return;
    if (m_device)
        m_device->SelectFont(m_fonts[set][style]);
    m_currentStyle[set] = style;
}

void CPagePrinter::PrintText(int set, const std::string& text, int flags, int offset) {
    if (!m_device || !ValidSet(set))
        return;
    const int textWidth = m_pageWidth - m_marginLeft - m_marginRight;
    m_currentSet = set;
    m_device->SelectFont(m_fonts[set][m_currentStyle[set]]);

    // An empty line still takes the height of a letter.
    const std::optional<qp::TextSize> whole = m_device->MeasureText(text.empty() ? "A" : text);
    if (!whole)
        return;
    const int lineHeight = whole->height;
    const int spacing = Points(m_lineSpacing);

    auto printLine = [&](std::string_view line) {
        if (m_pen + lineHeight + spacing > m_pageHeight - m_marginBottom)
            NewPage();
        m_device->DrawText(m_marginLeft + offset, m_pen, line);
        if (!(flags & PT_NOADVANCE))
            m_pen += spacing + lineHeight;
    };

    if (whole->width <= textWidth) {
        printLine(text);
        return;
    }
    // Lines are cut until the text is used up, so breaking at spaces never drops the end.
    const std::string_view all(text);
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = start;
        do {
            end = qp::NextCharacterEnd(all, end);
            const std::optional<qp::TextSize> chunk =
                m_device->MeasureText(all.substr(start, end - start));
            if (!chunk || chunk->width >= textWidth)
                break;
        } while (end < all.size());

        std::size_t next = end;
        if (end < all.size()) {
            const std::string_view chunk = all.substr(start, end - start);
            const std::size_t space = chunk.rfind(' ');
            if (space != std::string_view::npos &&
                qp::CharacterCount(chunk.substr(space)) <= kMaxBreakDistance)
                next = start + space + 1;
        }
        printLine(all.substr(start, next - start));
        start = next;
    }
}

void CPagePrinter::DrawRule(int penStyle) {
    if (!m_device)
        return;
    m_device->DrawLine(m_marginLeft, m_pen, m_pageWidth - m_marginRight, m_pen, penStyle);
    m_pen += Points(m_lineSpacing);
}

void CPagePrinter::LoadBitmapFile(const std::string& path) {
    m_bitmapPath = path;
    if (!m_device)
        return;
    if (std::shared_ptr<const qp::DeviceBitmap> loaded = m_device->LoadBitmap(path))
        m_bitmap = std::move(loaded);
}

void CPagePrinter::UsePicture(const qp::GreyPicture& picture) {
    if (!m_device)
        return;
    if (std::shared_ptr<const qp::DeviceBitmap> made = m_device->MakeBitmap(picture))
        m_bitmap = std::move(made);
}

int CPagePrinter::DrawBitmap(int align, int boxWidth, int boxHeightPoints, int offset) {
    if (!m_device || !m_device->CanStretchBitmaps() || !m_bitmap)
        return -1;
    const int width = boxWidth;
    const int height = Points(boxHeightPoints);
    const int textWidth = m_pageWidth - m_marginLeft - m_marginRight;
    int x = m_marginLeft;
    if (align == PT_CENTER)
        x = m_marginLeft + (textWidth / 2 - width / 2);
    else if (align == PT_RIGHT)
        x = m_pageWidth - width - m_marginRight;
    x += offset;
    // The picture keeps its proportions, at the box's top left corner: a square logo stretched to
    // the banner's shape would come out six times too wide.
    const qp::PictureSize drawn =
        qp::FitInBox({m_bitmap->Width(), m_bitmap->Height()}, {width, height});
    if (drawn.width == 0)
        return -1;
    return m_device->DrawBitmap(*m_bitmap, x, m_pen, drawn.width, drawn.height) ? 0 : -1;
}

void CPagePrinter::EndCurrentPage() {
    if (m_device)
        m_device->EndPage();
}

void CPagePrinter::EndDocument() {
    if (m_device)
        m_device->EndDocument();
}
