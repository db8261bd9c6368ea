#include "platform/gui/DialogStyle.h"

#include "platform/gui/FixedDialog.h"

#include <QDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace qp {

void MakeTopmostFixedDialog(QDialog& dialog) {
    MakeFixedSizeDialog(dialog, true);
}

void AcceptDigitsOnly(QLineEdit& edit) {
    static const QRegularExpression digits(QStringLiteral("[0-9]*"));
    edit.setValidator(new QRegularExpressionValidator(digits, &edit));
}

} // namespace qp
