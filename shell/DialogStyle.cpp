#include "shell/DialogStyle.h"

#include <QDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace qp {

void MakeTopmostFixedDialog(QDialog& dialog) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setFixedSize(dialog.size());
}

void AcceptDigitsOnly(QLineEdit& edit) {
    static const QRegularExpression digits(QStringLiteral("[0-9]*"));
    edit.setValidator(new QRegularExpressionValidator(digits, &edit));
}

} // namespace qp
