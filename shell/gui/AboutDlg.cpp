#include "shell/gui/AboutDlg.h"

#include "platform/Version.h"
#include "platform/gui/FixedDialog.h"
#include "res/Resources.h"
#include "ui_AboutDialog.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    Ui::AboutDialogForm form;
    form.setupUi(this);
    form.versionLabel->setText(form.versionLabel->text().arg(QStringLiteral(QP_VERSION)));
    form.iconLabel->setPixmap(res::IconById(res::kIcon130).pixmap(form.iconLabel->size()));
    qp::MakeFixedSizeDialog(*this, false);
    connect(form.okButton, &QPushButton::clicked, this, &QDialog::accept);
}
