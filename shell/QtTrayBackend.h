#pragma once

#include "shell/TrayBackend.h"
#include "shell/TrayHostState.h"

#include <QIcon>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <vector>

namespace qp {

// The tray on this desktop: QSystemTrayIcon (a StatusNotifierItem or an XEmbed tray icon), the
// program's resources and QMenu popups.
class QtTrayBackend final : public TrayBackend {
public:
    // How often the tray host's presence is looked at, to notice a panel that (re)starts.
    static constexpr int kHostPollMs = 5000;

    QtTrayBackend();
    ~QtTrayBackend() override;

    bool NotifyIcon(TrayAction action, const NotifyIconData& data) override;
    std::string LoadString(int id) override;
    IconHandle LoadIcon(int id) override;
    std::optional<Menu> LoadMenu(int id) override;
    void TrackPopupMenu(const PopupMenu& popup, int defaultPosition, QObject* owner) override;

private:
    void Apply(const NotifyIconData& data);
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void PollHost();

    std::unique_ptr<QSystemTrayIcon> m_icon;
    int m_iconId = 0;
    QPointer<QObject> m_window;
    int m_callbackMessage = 0;
    std::vector<QIcon> m_loadedIcons; // handle n is m_loadedIcons[n - 1]
    std::vector<int> m_loadedIconIds;
    TrayHostState m_hostState;
    QTimer m_hostPoll;
};

} // namespace qp
