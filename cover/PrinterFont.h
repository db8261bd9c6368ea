#pragma once

#include "cover/DrawingDevice.h"

#include <QFont>

namespace qp {

// The face asked for when a fixed-pitch font's own face is not fixed-pitch: its letters are as
// wide as Courier New's, the face printers answer such a request with.
inline constexpr const char* kFixedPitchFace = "Liberation Mono";

// The Qt font of a page printer's font. A fixed-pitch font keeps its face only when that face is
// fixed-pitch; a pitch that differs weighs more than a name that differs, as with printer fonts.
QFont PrinterFont(const FontSpec& spec);

} // namespace qp
