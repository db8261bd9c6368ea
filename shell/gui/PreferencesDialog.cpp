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
    for (QLineEdit* rule :
         {m_form->countryCodeEdit, m_form->longDistanceEdit, m_form->internationalEdit})
        qp::AcceptDigitsOnly(*rule);
    connect(m_form->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_form->cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    const qp::PreferenceFields fields = qp::PreferencesOnOpen(m_app);
    m_form->fromFaxEdit->setText(QString::fromStdString(fields.login));
    m_pin.emplace(m_app, *m_form->pinEdit, qp::UnreachablePin::TypedForSession, fields.pin);
    m_form->hostEdit->setText(QString::fromStdString(fields.host));
    m_form->notifyEmailEdit->setText(QString::fromStdString(fields.notifyEmail));
    m_form->countryCodeEdit->setText(QString::fromStdString(fields.dialRules.countryCode));
    m_form->longDistanceEdit->setText(QString::fromStdString(fields.dialRules.longDistancePrefix));
    m_form->internationalEdit->setText(
        QString::fromStdString(fields.dialRules.internationalPrefix));
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::accept() {
    const qp::DialRules rules{m_form->countryCodeEdit->text().toStdString(),
                              m_form->longDistanceEdit->text().toStdString(),
                              m_form->internationalEdit->text().toStdString()};
    qp::PreferencesOnOk(m_app, {m_form->fromFaxEdit->text().toStdString(), m_pin->Accepted(),
                                m_form->hostEdit->text().toStdString(),
                                m_form->notifyEmailEdit->text().toStdString(), rules});
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
