#include "shell/gui/PreferencesDialog.h"

#include "platform/gui/DialogStyle.h"
#include "platform/gui/GuiThread.h"
#include "shell/ConfigValues.h"
#include "ui_PreferencesDialog.h"

PreferencesDialog::PreferencesDialog(qp::AccountStore& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_form(std::make_unique<Ui::PreferencesDialogForm>()) {
    m_form->setupUi(this);
    qp::MakeTopmostFixedDialog(*this);
    // Only the number is digits; a PIN here may hold any character.
    qp::AcceptDigitsOnly(*m_form->fromFaxEdit);
    connect(m_form->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_form->cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    const qp::PreferenceFields fields = qp::PreferencesOnOpen(m_app);
    m_form->fromFaxEdit->setText(QString::fromStdString(fields.login));
    m_pin.emplace(m_app, *m_form->pinEdit, qp::UnreachablePin::TypedForSession, fields.pin);
    m_form->hostEdit->setText(QString::fromStdString(fields.host));
    m_form->notifyEmailEdit->setText(QString::fromStdString(fields.notifyEmail));
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::accept() {
    qp::PreferencesOnOk(m_app, {m_form->fromFaxEdit->text().toStdString(), m_pin->Accepted(),
                                m_form->hostEdit->text().toStdString(),
                                m_form->notifyEmailEdit->text().toStdString()});
    QDialog::accept();
}

namespace qp {

void RunPreferencesDialog(qp::AccountStore& app, QWidget* parent) {
    RunOnGuiThread([&] {
        PreferencesDialog dialog(app, parent);
        dialog.exec();
    });
}

void RunConfigurationFromSendDialog(qp::AccountStore& app, QWidget* parent) {
    RunPreferencesDialog(app, parent);
}

} // namespace qp
