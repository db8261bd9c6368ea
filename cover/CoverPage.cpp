#include "cover/CoverPage.h"

#include "cover/PagePrinter.h"
#include "cover/PageStyle.h"
#include "platform/FileOps.h"
#include "platform/TextLines.h"
#include "platform/Utf8Text.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace qp {
namespace {

// The page in its two units: points for the logo's height; device pixels, as they stand, for
// everything else.
constexpr int kValueColumn = 500;
constexpr int kLogoWidth = 4500;
constexpr int kLogoHeightPoints = 90;
constexpr int kAfterLogo = 700;
constexpr int kBeforeTo = 200;
constexpr int kBeforeFrom = 80;
constexpr std::size_t kDisclosureCharactersPerLine = 90;
constexpr std::string_view kLineBreak = "\r\n";

struct DisclosureStart {
    int minLines;
    int y;
};
constexpr DisclosureStart kDisclosureStarts[] = {{13, 4000}, {11, 4400}, {9, 4800},
                                                 {7, 5200},  {5, 5400},  {0, 5800}};

std::vector<std::string_view> Pieces(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(kLineBreak, start)) != std::string_view::npos;
         start = at + kLineBreak.size())
        pieces.push_back(text.substr(start, at - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

void PrintLines(CPagePrinter& printer, int set, const std::string& text) {
    for (std::string_view piece : Pieces(text))
        printer.PrintText(set, std::string(piece), CPagePrinter::PT_LEFT, 0);
}

void PrintField(CPagePrinter& printer, int set, const char* label, const std::string& value) {
    printer.SelectFontStyle(set, CPagePrinter::kBold);
    printer.PrintText(set, label, CPagePrinter::PT_NOADVANCE, 0);
    printer.SelectFontStyle(set, CPagePrinter::kRegular);
    printer.PrintText(set, TrimBlanks(value), CPagePrinter::PT_LEFT, kValueColumn);
}

} // namespace

int DisclosureStartY(const std::string& disclosure) {
    int lines = 0;
    for (std::string_view piece : Pieces(disclosure))
        lines += 1 + static_cast<int>(CharacterCount(piece) / kDisclosureCharactersPerLine);
    lines = std::max(lines, 1);
    for (const DisclosureStart& start : kDisclosureStarts) {
        if (lines >= start.minLines)
            return start.y;
    }
    return kDisclosureStarts[std::size(kDisclosureStarts) - 1].y;
}

void DrawCoverPage(CPagePrinter& printer, const CoverFields& fields, const std::string& logoPath) {
    const int set = BeginStyledPage(printer);

    if (!logoPath.empty() && FileExists(logoPath)) {
        printer.LoadBitmapFile(logoPath);
        printer.DrawBitmap(CPagePrinter::PT_CENTER, kLogoWidth, kLogoHeightPoints, 0);
        printer.MoveDown(kAfterLogo);
    }
    printer.MoveDown(kBeforeTo);
    PrintField(printer, set, "To:", fields.to);
    PrintField(printer, set, "Re:", fields.re);
    printer.MoveDown(kBeforeFrom);
    PrintField(printer, set, "From:", fields.from);
    PrintField(printer, set, "Fax:", fields.fax);
    PrintField(printer, set, "Phone:", fields.phone);

    DrawSpacedRule(printer);

    printer.SelectFontStyle(set, CPagePrinter::kBold);
    printer.PrintText(set, "Notes:", 0, 0);
    printer.SelectFontStyle(set, CPagePrinter::kRegular);
    PrintLines(printer, set, TrimBlanks(fields.notes));

    const std::string disclosure = TrimBlanks(fields.disclosure);
    printer.SetY(DisclosureStartY(disclosure));
    PrintLines(printer, set, disclosure);

    printer.EndCurrentPage();
    printer.EndDocument();
}

} // namespace qp
