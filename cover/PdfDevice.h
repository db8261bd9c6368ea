#pragma once

#include "cover/DrawingDevice.h"

class QIODevice;

namespace qp {

// Draws a PDF document into `output` (open for writing, and outliving the devices made) laid out as
// the fax printer driver's default page: its paper size, its imageable area as the printable area,
// its resolution as the device units. The printer's name is not used. Needs a QGuiApplication for
// its fonts; a device may be used on any one thread.
DrawingDeviceFactory PdfDeviceFactory(QIODevice& output);

} // namespace qp
