#pragma once

#include "cover/CoverPage.h"

#include <string>

namespace qp {

// Draws the cover page of `fields` and the logo into the PDF file `pdfPath`, on the fax printer
// driver's default page: the cover sheet dialog's OK and `quillpost-send --cover-sheet` both make
// their cover file here. The page is written under a temporary name beside the file and then
// renamed over it, so a cover file from an earlier OK stays whole when this one fails. Needs a
// QGuiApplication (fonts), no widgets; may run on any thread. True once the file holds the page.
bool DrawCoverFile(const CoverFields& fields, const std::string& logoPath,
                   const std::string& pdfPath);

} // namespace qp
