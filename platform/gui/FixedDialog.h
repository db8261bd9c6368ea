#pragma once

class QDialog;

namespace qp {

// Gives a dialog whose layout has one fixed size a title bar with the close box only (no maximise
// or minimise button, which window managers offer unless told otherwise) and pins it at its
// current size. `topmost` keeps it above other windows. Call once its controls are in place.
void MakeFixedSizeDialog(QDialog& dialog, bool topmost);

} // namespace qp
