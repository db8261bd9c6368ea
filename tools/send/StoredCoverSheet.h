#pragma once

#include <string>

namespace qp::send {

// Draws the cover page of the stored cover sheet fields and logo into a PDF file, the same page the
// cover sheet dialog prints, without the printer. False when the file was not written.
bool WriteStoredCoverSheet(const std::string& pdfPath);

} // namespace qp::send
