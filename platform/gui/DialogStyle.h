#pragma once

class QDialog;
class QLineEdit;

namespace qp {

// A fixed-size dialog with a title bar and close button only, kept above other windows
// (MakeFixedSizeDialog in platform/FixedDialog.h, for dialogs outside this folder).
void MakeTopmostFixedDialog(QDialog& dialog);

// Lets only the digits 0-9 be typed into the field.
void AcceptDigitsOnly(QLineEdit& edit);

} // namespace qp
