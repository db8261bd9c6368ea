#include "cover/PageStyle.h"

#include "cover/CoverPage.h"
#include "cover/PagePrinter.h"

namespace qp {
namespace {

// Points for the top margin, spacing and fonts; device pixels for the rest.
constexpr int kCopies = 1;
constexpr int kLineSpacingPoints = 5;
constexpr const char* kFace = "Arial";
constexpr int kFontPoints = 12;
constexpr int kSecondFontPoints = 16;
constexpr int kTopMarginPoints = 50;
constexpr int kBottomMargin = 20;
constexpr int kLeftMargin = 350;
constexpr int kRightMargin = 250;
constexpr int kAroundRule = 125;
constexpr int kSolidPen = 0;

} // namespace

int BeginStyledPage(CPagePrinter& printer) {
    printer.SetLineSpacing(kLineSpacingPoints);
    printer.OpenPrinterDC(kCoverPrinterName, kCopies);
    printer.BeginDocument();
    const int set = printer.AddFontSet(kFace, kFontPoints, kSecondFontPoints);
    printer.BeginPage();
    printer.SetMargins(kTopMarginPoints, kBottomMargin, kLeftMargin, kRightMargin);
    return set;
}

void DrawSpacedRule(CPagePrinter& printer) {
    printer.MoveDown(kAroundRule);
    printer.DrawRule(kSolidPen);
    printer.MoveDown(kAroundRule);
}

} // namespace qp
