#pragma once

#include "cover/DrawingDevice.h"

#include <string>

namespace qp {

// Draws into a PDF file laid out as the fax printer's page: 600 dpi, US Letter (or Legal) with
// the driver's printable area a quarter inch in from each edge. For a cover page made without
// the printer; the printer's name is not used.
DrawingDeviceFactory PdfFileDeviceFactory(const std::string& path, bool legal = false);

} // namespace qp
