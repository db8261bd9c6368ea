#pragma once

#include "cover/DrawingDevice.h"

#include <string>

class CPagePrinter;

namespace qp {

// The text of a cover sheet, as typed.
struct CoverFields {
    std::string to;
    std::string re;
    std::string from;
    std::string fax;
    std::string phone;
    std::string notes;
    std::string disclosure;
};

// The fax printer's name, as the page printer is asked to open it; a PDF device draws the driver's
// page whatever name it is given.
inline constexpr const char* kCoverPrinterName = "Quill Post";

// Draws the whole cover page (logo when the file exists, the five field lines, the rule, the
// notes, the disclosure) as one printed document on `printer`, from opening the printer to
// ending the document. Failures of the printer show only as a document that never appears.
void DrawCoverPage(CPagePrinter& printer, const CoverFields& fields, const std::string& logoPath);

// Where the disclosure block starts, in device units, for the given text (already trimmed).
int DisclosureStartY(const std::string& disclosure);

} // namespace qp
