#pragma once

#include "cover/DrawingDevice.h"

#include <string>

namespace qp {

// Opens a CUPS queue by the printer's name (blanks read as "_", so "Quill Post" is the queue
// Quill_Post) at the driver's 600 dpi and default paper; the document goes through cupsd and the
// queue's backend like any print job. Nothing when the queue does not exist.
DrawingDeviceFactory FaxPrinterDeviceFactory();

// The same printer device writing a PDF file at 600 dpi on US Letter instead of a queue.
DrawingDeviceFactory PrinterFileDeviceFactory(const std::string& path);

} // namespace qp
