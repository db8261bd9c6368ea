#include "cover/TransmissionReport.h"

#include "cover/PagePrinter.h"
#include "cover/PageStyle.h"
#include "platform/TextLines.h"

#include <string>
#include <string_view>

namespace qp {
namespace {

// Points for the picture's height; device pixels for the rest.

// Wide enough for the longest label, "Server's answer:".
constexpr int kValueColumn = 1100;
constexpr int kAfterTitle = 150;
constexpr int kBetweenGroups = 80;
constexpr int kPageBoxWidth = 3000;
constexpr int kPageBoxHeightPoints = 330;
constexpr const char* kTitle = "Fax Transmission Report";

void PrintField(CPagePrinter& printer, int set, const char* label, const std::string& value) {
    printer.SelectFontStyle(set, CPagePrinter::kBold);
    printer.PrintText(set, label, CPagePrinter::PT_NOADVANCE, 0);
    printer.SelectFontStyle(set, CPagePrinter::kRegular);
    // A value of several lines (an answer with the server's address) keeps to its column.
    const std::string trimmed = TrimBlanks(value);
    for (std::string_view line : SplitAtLineFeeds(trimmed))
        printer.PrintText(set, TrimBlanks(std::string(line)), CPagePrinter::PT_LEFT, kValueColumn);
}

void PrintFieldIfSet(CPagePrinter& printer, int set, const char* label, const std::string& value) {
    if (!TrimBlanks(value).empty())
        PrintField(printer, set, label, value);
}

// A white page on white paper needs an edge to be seen.
GreyPicture Framed(GreyPicture picture) {
    for (int x = 0; x < picture.width; ++x)
        picture.Row(0)[x] = picture.Row(picture.height - 1)[x] = 0;
    for (int y = 0; y < picture.height; ++y)
        picture.Row(y)[0] = picture.Row(y)[picture.width - 1] = 0;
    return picture;
}

} // namespace

void DrawTransmissionReport(CPagePrinter& printer, const TransmissionFacts& facts) {
    // The cover page's look, so that both pages of the program look alike.
    const int set = BeginStyledPage(printer);

    printer.SelectFontStyle(set, CPagePrinter::kBoldSecondSize);
    printer.PrintText(set, kTitle, 0, 0);
    printer.MoveDown(kAfterTitle);

    PrintField(printer, set, "Date:", facts.when);
    PrintField(printer, set, "Result:", facts.status);
    printer.MoveDown(kBetweenGroups);
    PrintFieldIfSet(printer, set, "From:", facts.fromName);
    PrintField(printer, set, "Message box:", facts.fromBox);
    PrintFieldIfSet(printer, set, "Fax:", facts.fromFax);
    PrintFieldIfSet(printer, set, "Phone:", facts.fromPhone);
    printer.MoveDown(kBetweenGroups);
    PrintField(printer, set, "To:", facts.toName);
    PrintField(printer, set, "Number:", facts.toNumber);
    printer.MoveDown(kBetweenGroups);
    PrintField(printer, set, "Pages:", std::to_string(facts.pages));
    PrintField(printer, set, "Resolution:", facts.resolution);
    PrintField(printer, set, "Tries:", std::to_string(facts.tries));
    PrintField(printer, set, "Server's answer:", facts.answer);

    DrawSpacedRule(printer);
    printer.SelectFontStyle(set, CPagePrinter::kBold);
    printer.PrintText(set, "Page 1:", CPagePrinter::PT_NOADVANCE, 0);
    if (facts.firstPage && !facts.firstPage->Empty()) {
        printer.UsePicture(Framed(*facts.firstPage));
        printer.DrawBitmap(CPagePrinter::PT_LEFT, kPageBoxWidth, kPageBoxHeightPoints,
                           kValueColumn);
    } else {
        printer.SelectFontStyle(set, CPagePrinter::kRegular);
        printer.PrintText(set, "(the fax image could not be read)", CPagePrinter::PT_LEFT,
                          kValueColumn);
    }

    printer.EndCurrentPage();
    printer.EndDocument();
}

} // namespace qp
