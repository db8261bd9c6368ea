#pragma once

#include "cover/DrawingDevice.h"
#include "platform/Clock.h"

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

// The printer the cover page goes through, as the page printer is asked to open it.
inline constexpr const char* kCoverPrinterName = "Quill Post";

// Draws the whole cover page (logo when the file exists, the five field lines, the rule, the
// notes, the disclosure) as one printed document on `printer`, from opening the printer to
// ending the document. Failures of the printer show only as a document that never appears.
void DrawCoverPage(CPagePrinter& printer, const CoverFields& fields, const std::string& logoPath);

// The whole of making a cover file: the page printed through the fax printer, then the wait
// for the printed job in the port file and its move to the cover file. The watcher leaves the
// port file alone meanwhile. True once the cover file holds the new page.
bool PrintCoverFile(const CoverFields& fields, const std::string& logoPath,
                    const DrawingDeviceFactory& openPrinter, const std::string& portFile,
                    const std::string& coverFile, Clock& clock);

// Where the disclosure block starts, in device units, for the given text (already trimmed).
int DisclosureStartY(const std::string& disclosure);

// Leading and trailing blanks, tabs and line breaks removed.
std::string TrimmedText(const std::string& text);

} // namespace qp
