#pragma once

class CPagePrinter;

namespace qp {

// The look the program's pages share, the cover page and the transmission report.

// Opens the document on the cover printer and begins its one page with the shared spacing,
// margins and fonts. Returns the font set: the regular size and a second, larger one.
int BeginStyledPage(CPagePrinter& printer);
// A solid rule across the page with room above and below it.
void DrawSpacedRule(CPagePrinter& printer);

} // namespace qp
