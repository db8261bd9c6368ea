#pragma once

#include "shell/TrayBackend.h"
#include "shell/TrayIcon.h"

#include <QDialog>
#include <QEvent>
#include <functional>
#include <memory>

class CQuillpostApp;

// The client's main window: never shown, it owns the tray icon and carries out the tray menu's
// commands. Tray mode lasts as long as this window.
class TrayDialog final : public QDialog {
public:
    // The event type the tray icon's mouse events arrive as.
    static constexpr int kTrayCallbackMessage = QEvent::User;
    static constexpr int kTrayIconId = 135;

    // Adds the tray icon at once. The backend is the desktop's tray unless a test brings its own.
    explicit TrayDialog(CQuillpostApp& app, std::unique_ptr<qp::TrayBackend> backend = nullptr);
    ~TrayDialog() override;

    qp::CTrayIcon& TrayIcon() { return *m_trayIcon; }

    // What opens a send dialog for a cover-only fax (a job of its own with no body); it does not
    // wait for the dialog.
    void SetSendDialogRunner(std::function<void()> runner) { m_runSendDialog = std::move(runner); }
    // What "Check for Updates..." runs: the update check that asks before it changes anything.
    void SetUpdateCheckRunner(std::function<void()> runner) {
        m_runUpdateCheck = std::move(runner);
    }
    // What opens the fax log window.
    void SetFaxLogRunner(std::function<void()> runner) { m_runFaxLog = std::move(runner); }
    // What opens the address book window.
    void SetContactsRunner(std::function<void()> runner) { m_runContacts = std::move(runner); }
    // What "Quit Quill Post" runs: the client's orderly end. It runs at once, also while a send
    // dialog's work is under way; that end keeps the dialog's fax for the next start.
    void SetQuitRunner(std::function<void()> runner) { m_runQuit = std::move(runner); }

    // Carries out a tray menu command (its menu id).
    void OnCommand(int command);
    void OnShowConfiguration();
    void OnAbout();
    void OnSendCoverOnly();
    void OnCheckForUpdates();
    void OnFaxLog();
    void OnContacts();
    void OnQuit();

protected:
    bool event(QEvent* event) override;

private:
    CQuillpostApp& m_app;
    std::unique_ptr<qp::TrayBackend> m_backend;
    std::unique_ptr<qp::CTrayIcon> m_trayIcon;
    std::function<void()> m_runSendDialog;
    std::function<void()> m_runUpdateCheck;
    std::function<void()> m_runFaxLog;
    std::function<void()> m_runContacts;
    std::function<void()> m_runQuit;
};
