#include "shell/gui/InitialConfigDialog.h"

#include "platform/gui/DialogStyle.h"
#include "shell/ConfigValues.h"
#include "ui_InitialConfigDialog.h"

InitialConfigDialog::InitialConfigDialog(qp::AccountStore& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_form(std::make_unique<Ui::InitialConfigDialogForm>()) {
    m_form->setupUi(this);
    qp::MakeTopmostFixedDialog(*this);
    qp::AcceptDigitsOnly(*m_form->msgBoxEdit);
    qp::AcceptDigitsOnly(*m_form->pinEdit);
    connect(m_form->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_form->cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    const qp::MessageBoxFields fields = qp::InitialConfigOnOpen(m_app);
    m_form->msgBoxEdit->setText(QString::fromStdString(fields.login));
    m_pin.emplace(m_app, *m_form->pinEdit, qp::UnreachablePin::KeptAsIs, fields.pin);
}

InitialConfigDialog::~InitialConfigDialog() = default;

void InitialConfigDialog::accept() {
    qp::InitialConfigOnOk(m_app, {m_form->msgBoxEdit->text().toStdString(), m_pin->Accepted()});
    QDialog::accept();
}

void InitialConfigDialog::reject() {
    qp::InitialConfigOnCancel(m_app);
    QDialog::reject();
}

namespace qp {

void RunInitialConfigDialog(qp::AccountStore& app) {
    InitialConfigDialog dialog(app);
    dialog.exec();
}

} // namespace qp
