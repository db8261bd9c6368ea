#include "update/gui/UpdateDialog.h"

#include "platform/gui/ControlLookup.h"
#include "ui_UpdateDialog.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <algorithm>

UpdateDialog::UpdateDialog(QWidget* parent) : QDialog(parent) {
    Ui::UpdateDialogForm form;
    form.setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    m_state = qp::FindControl<QLineEdit>(this, kIdState);
    m_file = qp::FindControl<QLineEdit>(this, kIdFile);
    m_progress = qp::FindControl<QProgressBar>(this, kIdProgress);
    // Borderless read-only fields read as plain text on the dialog's face.
    for (QLineEdit* edit : {m_state, m_file}) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, this->palette().color(QPalette::Window));
        edit->setPalette(palette);
    }
}

void UpdateDialog::SetStateText(const std::string& text) {
    m_state->setText(QString::fromStdString(text));
    update();
}

void UpdateDialog::SetFileText(const std::string& text) {
    m_file->setText(QString::fromStdString(text));
    update();
}

void UpdateDialog::SetRange(int count) {
    // An empty range would turn the bar into a busy indicator; nothing to fetch is an empty bar.
    m_progress->setRange(0, std::max(count, 1) * kStepsPerFile);
    m_progress->setValue(0);
}

void UpdateDialog::SetProgress(int filesDone, double fraction) {
    const double steps = (filesDone + std::clamp(fraction, 0.0, 1.0)) * kStepsPerFile;
    m_progress->setValue(std::min(static_cast<int>(steps), m_progress->maximum()));
}

void UpdateDialog::Show() {
    show();
    raise();
}

void UpdateDialog::Hide() {
    hide();
}

void UpdateDialog::reject() {
    m_closed = true;
    QDialog::reject();
}

void UpdateDialog::PumpPendingMessages() {
    QCoreApplication::processEvents();
}
