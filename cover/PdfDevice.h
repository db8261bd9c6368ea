#pragma once

#include "cover/DrawingDevice.h"

#include <string>

namespace qp {

// Draws into a PDF file laid out as the fax printer's default page: 600 dpi, US Letter, with the
// driver's printable area a quarter inch in from each edge. For a cover page made without the
// printer; the printer's name is not used. Needs a QGuiApplication for its fonts.
DrawingDeviceFactory PdfFileDeviceFactory(const std::string& path);

} // namespace qp
