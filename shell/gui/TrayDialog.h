#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <functional>
#include <string>

// The client's icon in the notification area and its menu. Tray mode lasts as long as this object.
// The menu's commands run what the program hands in; each runs from the event loop, not inside
// the tray's own signal, and all but Quit wait while a send dialog's work is under way, since
// their windows would otherwise hold that work's dialog up until they were closed.
class TrayDialog final {
public:
    // Shows the icon at once.
    TrayDialog();
    TrayDialog(const TrayDialog&) = delete;
    TrayDialog& operator=(const TrayDialog&) = delete;

    // What opens a send dialog for a cover-only fax (a job of its own with no body); it does not
    // wait for the dialog.
    void SetSendDialogRunner(std::function<void()> runner) { m_runSendDialog = std::move(runner); }
    // What "Show &Configuration" opens.
    void SetConfigurationRunner(std::function<void()> runner) {
        m_runConfiguration = std::move(runner);
    }
    // What "Check for Updates..." runs: the update check that asks before it changes anything.
    void SetUpdateCheckRunner(std::function<void()> runner) {
        m_runUpdateCheck = std::move(runner);
    }
    // What opens the fax log window.
    void SetFaxLogRunner(std::function<void()> runner) { m_runFaxLog = std::move(runner); }
    // What opens the address book window.
    void SetContactsRunner(std::function<void()> runner) { m_runContacts = std::move(runner); }
    // What "Quit Quill Post" runs: the client's orderly end. It runs also while a send dialog's
    // work is under way; that end keeps the dialog's fax for the next start.
    void SetQuitRunner(std::function<void()> runner) { m_runQuit = std::move(runner); }

    // Hides the icon (while an update replaces the program) or shows it again.
    void SetIconShown(bool shown);
    // A balloon from the icon; false, showing nothing, while the icon is hidden or no tray holds
    // it. `clicked` runs when the user clicks this balloon (the latest one shown).
    bool ShowNotification(const std::string& title, const std::string& text,
                          std::function<void()> clicked = {});

    QSystemTrayIcon& Icon() { return m_icon; }
    QMenu& Menu() { return m_menu; }

private:
    void AddCommand(const char* text, const std::function<void()>& runner, bool waitsForWork);

    std::function<void()> m_runSendDialog;
    std::function<void()> m_runConfiguration;
    std::function<void()> m_runAbout;
    std::function<void()> m_runUpdateCheck;
    std::function<void()> m_runFaxLog;
    std::function<void()> m_runContacts;
    std::function<void()> m_runQuit;
    std::function<void()> m_balloonClicked;
    QMenu m_menu;
    QSystemTrayIcon m_icon;
    bool m_toldNoTray = false;
};
