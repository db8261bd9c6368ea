#include "platform/gui/FixedDialog.h"

#include <QDialog>

namespace qp {

void MakeFixedSizeDialog(QDialog& dialog, bool topmost) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                            Qt::MSWindowsFixedSizeDialogHint;
    if (topmost)
        flags |= Qt::WindowStaysOnTopHint;
    dialog.setWindowFlags(flags);
    dialog.setFixedSize(dialog.size());
}

} // namespace qp
