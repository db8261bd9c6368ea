#include "shell/gui/TrayDialog.h"

#include "platform/gui/GuiThread.h"
#include "res/Features.h"
#include "res/Resources.h"
#include "shell/gui/AboutDlg.h"

#include <QPointer>
#include <iostream>

namespace {

// Written to standard error when the icon first shows and there is no tray host to hold it.
constexpr const char* kNoTrayMessage =
    "Quillpost: no system tray is available; the icon will appear when one starts. Print jobs "
    "still open the send dialog.";

} // namespace

TrayDialog::TrayDialog() {
    m_runAbout = [] {
        CAboutDlg about;
        about.exec();
    };
    AddCommand("Send Cover Only Fax...", m_runSendDialog, true);
    AddCommand("Show &Configuration", m_runConfiguration, true);
    m_menu.addSeparator();
    AddCommand("About Quill Post ...", m_runAbout, true);
#if QUILLPOST_SELF_UPDATE
    AddCommand("Check for Updates...", m_runUpdateCheck, true);
#endif
    AddCommand("Fax Log...", m_runFaxLog, true);
    AddCommand("Contacts...", m_runContacts, true);
    // Desktops here offer no other way to end a tray program than logging out; set apart at the
    // end, where it is not taken by mistake. A user who quits during a long upload means now.
    m_menu.addSeparator();
    AddCommand("Quit Quill Post", m_runQuit, false);
    m_menu.setDefaultAction(m_menu.actions().constFirst());

    m_icon.setIcon(res::IconById(res::kIcon130));
    m_icon.setToolTip(QString::fromUtf8(res::kTooltip130));
    m_icon.setContextMenu(&m_menu);
    QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_menu,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::DoubleClick)
                             m_menu.defaultAction()->trigger();
                     });
    QObject::connect(&m_icon, &QSystemTrayIcon::messageClicked, &m_menu, [this] {
        if (m_balloonClicked)
            m_balloonClicked();
    });
    SetIconShown(true);
}

void TrayDialog::AddCommand(const char* text, const std::function<void()>& runner,
                            bool waitsForWork) {
    QAction* action = m_menu.addAction(QString::fromUtf8(text));
    // Queued, so that a window the command opens runs outside the menu's or the tray's signal.
    QObject::connect(
        action, &QAction::triggered, action,
        [action, &runner, waitsForWork] {
            auto run = [guard = QPointer<QAction>(action), &runner] {
                if (guard && runner)
                    runner();
            };
            if (waitsForWork)
                qp::RunOnGuiThreadWhenIdle(run);
            else
                run();
        },
        Qt::QueuedConnection);
}

void TrayDialog::SetIconShown(bool shown) {
    // Without its picture the tray would show an empty slot.
    m_icon.setVisible(shown && !m_icon.icon().isNull());
    if (m_icon.isVisible() && !m_toldNoTray && !QSystemTrayIcon::isSystemTrayAvailable()) {
        std::cerr << kNoTrayMessage << std::endl;
        m_toldNoTray = true;
    }
}

bool TrayDialog::ShowNotification(const std::string& title, const std::string& text,
                                  std::function<void()> clicked) {
    // Qt takes the icon as shown even where no tray host holds it; a balloon would go nowhere.
    if (!m_icon.isVisible() || !QSystemTrayIcon::isSystemTrayAvailable() ||
        !QSystemTrayIcon::supportsMessages())
        return false;
    m_balloonClicked = std::move(clicked);
    m_icon.showMessage(QString::fromStdString(title), QString::fromStdString(text), m_icon.icon());
    return true;
}
