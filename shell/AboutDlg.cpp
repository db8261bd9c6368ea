#include "shell/AboutDlg.h"

#include "res/Resources.h"
#include "ui_AboutDialog.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    Ui::AboutDialogForm form;
    form.setupUi(this);
    form.iconLabel->setPixmap(res::IconById(res::kIcon130).pixmap(form.iconLabel->size()));
    setFixedSize(size());
    connect(form.okButton, &QPushButton::clicked, this, &QDialog::accept);
}
