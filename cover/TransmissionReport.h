#pragma once

#include "base/TransmissionFacts.h"

class CPagePrinter;

namespace qp {

// Draws the transmission report of one sent fax as a one-page document on `printer`: the title,
// when it went and how it ended, from and to, pages, resolution, tries, the server's answer, and
// page 1 of the fax reduced, framed, below them.
void DrawTransmissionReport(CPagePrinter& printer, const TransmissionFacts& facts);

} // namespace qp
