#pragma once

#include "shell/gui/PinField.h"

#include <QDialog>
#include <memory>
#include <optional>

namespace qp {
class AccountStore;
} // namespace qp
namespace Ui {
class PreferencesDialogForm;
}

// "Quill Post Configuration": message box number, PIN, fax server host and the notification
// address. OK stores them at once, for the next fax and the next start.
class PreferencesDialog final : public QDialog {
public:
    explicit PreferencesDialog(qp::AccountStore& app, QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    void accept() override;

private:
    qp::AccountStore& m_app;
    std::unique_ptr<Ui::PreferencesDialogForm> m_form;
    std::optional<qp::PinField> m_pin;
};

namespace qp {

// Runs the dialog modally, on the GUI thread whichever thread asks; the result does not matter.
void RunPreferencesDialog(qp::AccountStore& app, QWidget* parent = nullptr);

// For the send dialog's "Confi&gure..." button: the same dialog, run modally; what it stores is
// used by the next upload.
void RunConfigurationFromSendDialog(qp::AccountStore& app, QWidget* parent = nullptr);

} // namespace qp
