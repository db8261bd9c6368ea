#pragma once

#include "shell/gui/PinField.h"

#include <QDialog>
#include <memory>
#include <optional>

namespace qp {
class AccountStore;
} // namespace qp
namespace Ui {
class InitialConfigDialogForm;
}

// "Configure Fax Message Box": the message box number and PIN, for "-configure", which ends with
// it: so a PIN in a keyring out of reach cannot be typed for the session here. Opening it puts the
// service's fax server in place where the settings name none.
class InitialConfigDialog final : public QDialog {
public:
    explicit InitialConfigDialog(qp::AccountStore& app, QWidget* parent = nullptr);
    ~InitialConfigDialog() override;

    void accept() override;
    void reject() override;

private:
    qp::AccountStore& m_app;
    std::unique_ptr<Ui::InitialConfigDialogForm> m_form;
    std::optional<qp::PinField> m_pin;
};

namespace qp {
// Runs the dialog modally; the result does not matter to anyone.
void RunInitialConfigDialog(qp::AccountStore& app);
} // namespace qp
