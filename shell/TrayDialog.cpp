#include "shell/TrayDialog.h"

#include "app/QuillpostApp.h"
#include "platform/gui/GuiThread.h"
#include "res/Resources.h"
#include "res/TrayMenu.h"
#include "shell/gui/AboutDlg.h"
#include "shell/gui/PreferencesDialog.h"
#include "shell/QtTrayBackend.h"
#include "shell/TrayEvents.h"
#include "ui_TrayDialog.h"

#include <QPointer>

TrayDialog::TrayDialog(CQuillpostApp& app, std::unique_ptr<qp::TrayBackend> backend)
    : QDialog(nullptr), m_app(app), m_backend(std::move(backend)) {
    Ui::TrayDialogForm form;
    form.setupUi(this);
    if (!m_backend)
        m_backend = std::make_unique<qp::QtTrayBackend>();
    m_trayIcon = std::make_unique<qp::CTrayIcon>(kTrayIconId, *m_backend);
    m_trayIcon->SetNotifyTarget(this, kTrayCallbackMessage);
    m_trayIcon->SetIconById(res::kIcon130);
}

// The icon goes before the backend that shows it.
TrayDialog::~TrayDialog() {
    m_trayIcon.reset();
}

bool TrayDialog::event(QEvent* event) {
    // The tray icon's hook has already handled the mouse event.
    if (event->type() == kTrayCallbackMessage)
        return true;
    if (event->type() == qp::CommandEvent::EventType()) {
        const int command = static_cast<qp::CommandEvent*>(event)->CommandId();
        // Quitting opens no window, and a user who quits during a long upload means now.
        if (command == res::kIdQuit) {
            OnQuit();
            return true;
        }
        // A command chosen while a send dialog converts or uploads waits until that work is done:
        // its window would otherwise hold the work's dialog up until it was closed.
        qp::RunOnGuiThreadWhenIdle([tray = QPointer<TrayDialog>(this), command] {
            if (tray)
                tray->OnCommand(command);
        });
        return true;
    }
    return QDialog::event(event);
}

void TrayDialog::OnCommand(int command) {
    switch (command) {
    case res::kIdShowConfiguration:
        OnShowConfiguration();
        break;
    case res::kIdAbout:
        OnAbout();
        break;
    case res::kIdSendCoverOnly:
        OnSendCoverOnly();
        break;
    case res::kIdCheckForUpdates:
        OnCheckForUpdates();
        break;
    case res::kIdFaxLog:
        OnFaxLog();
        break;
    case res::kIdContacts:
        OnContacts();
        break;
    case res::kIdQuit:
        OnQuit();
        break;
    default:
        break;
    }
}

void TrayDialog::OnShowConfiguration() {
    qp::RunPreferencesDialog(m_app.Account());
}

void TrayDialog::OnAbout() {
    CAboutDlg about;
    about.exec();
}

void TrayDialog::OnContacts() {
    if (m_runContacts)
        m_runContacts();
}

void TrayDialog::OnFaxLog() {
    if (m_runFaxLog)
        m_runFaxLog();
}

void TrayDialog::OnQuit() {
    if (m_runQuit)
        m_runQuit();
}

void TrayDialog::OnSendCoverOnly() {
    if (m_runSendDialog)
        m_runSendDialog();
}

void TrayDialog::OnCheckForUpdates() {
    if (m_runUpdateCheck)
        m_runUpdateCheck();
}
