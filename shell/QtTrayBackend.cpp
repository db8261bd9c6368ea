#include "shell/QtTrayBackend.h"

#include "res/Resources.h"
#include "shell/TrayEvents.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QWidget>
#include <iostream>

namespace qp {
namespace {

// The mouse event each kind of activation stands for.
int MouseEventFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Context:
        return mouse::kRightButtonUp;
    case QSystemTrayIcon::DoubleClick:
        return mouse::kLeftButtonDoubleClick;
    case QSystemTrayIcon::Trigger:
        return mouse::kLeftButtonUp;
    case QSystemTrayIcon::MiddleClick:
        return mouse::kMiddleButtonUp;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return 0;
}

} // namespace

QtTrayBackend::QtTrayBackend() {
    m_hostPoll.setInterval(kHostPollMs);
    QObject::connect(&m_hostPoll, &QTimer::timeout, [this] { PollHost(); });
}

QtTrayBackend::~QtTrayBackend() = default;

bool QtTrayBackend::NotifyIcon(TrayAction action, const NotifyIconData& data) {
    switch (action) {
    case TrayAction::Add:
        if (!m_icon) {
            m_icon = std::make_unique<QSystemTrayIcon>();
            QObject::connect(
                m_icon.get(), &QSystemTrayIcon::activated,
                [this](QSystemTrayIcon::ActivationReason reason) { OnActivated(reason); });
        } else if (m_icon->isVisible()) {
            // Added again after the tray host came back: register it with the new host.
            m_icon->hide();
        }
        Apply(data);
        m_icon->show();
        if (!m_hostPoll.isActive()) {
            PollHost();
            m_hostPoll.start();
        }
        // Without a tray host the icon waits for one; Qt puts it in place when one appears.
        return true;
    case TrayAction::Modify:
        if (!m_icon || !m_icon->isVisible())
            return false;
        Apply(data);
        return true;
    case TrayAction::Delete:
        if (!m_icon || !m_icon->isVisible())
            return false;
        m_icon->hide();
        m_hostPoll.stop();
        return true;
    }
    return false;
}

void QtTrayBackend::Apply(const NotifyIconData& data) {
    m_iconId = data.id;
    if (data.flags & kTrayFlagMessage) {
        m_window = data.window;
        m_callbackMessage = data.callbackMessage;
    } else {
        m_window = nullptr;
        m_callbackMessage = 0;
    }
    if ((data.flags & kTrayFlagIcon) && data.icon != 0 && data.icon <= m_loadedIcons.size())
        m_icon->setIcon(m_loadedIcons[data.icon - 1]);
    m_icon->setToolTip((data.flags & kTrayFlagTip) ? QString::fromStdString(data.tip) : QString());
    if (data.flags & kTrayFlagInfo)
        m_icon->showMessage(QString::fromStdString(data.infoTitle),
                            QString::fromStdString(data.info), m_icon->icon());
}

void QtTrayBackend::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    const int mouseEvent = MouseEventFor(reason);
    if (m_window.isNull() || m_callbackMessage == 0 || mouseEvent == 0)
        return;
    // Posted, so that a menu or dialog opened for it runs outside the tray icon's own signal.
    QCoreApplication::postEvent(m_window.data(),
                                new TrayNotifyEvent(m_callbackMessage, m_iconId, mouseEvent));
}

void QtTrayBackend::PollHost() {
    const TrayHostState::Step step = m_hostState.Observe(QSystemTrayIcon::isSystemTrayAvailable());
    if (step.reportMissing)
        std::cerr << kNoTrayMessage << std::endl;
    if (step.restart) {
        // Every top-level window hears of it, as windows of other tray icons may need it too.
        for (QWidget* window : QApplication::topLevelWidgets())
            QCoreApplication::postEvent(window, new QEvent(TaskbarCreatedEventType()));
    }
}

std::string QtTrayBackend::LoadString(int id) {
    return id == res::kIcon130 ? res::kTooltip130 : "";
}

IconHandle QtTrayBackend::LoadIcon(int id) {
    for (std::size_t i = 0; i < m_loadedIconIds.size(); ++i) {
        if (m_loadedIconIds[i] == id)
            return i + 1;
    }
    const QIcon icon = res::IconById(id);
    if (icon.isNull())
        return 0;
    m_loadedIcons.push_back(icon);
    m_loadedIconIds.push_back(id);
    return m_loadedIcons.size();
}

std::optional<Menu> QtTrayBackend::LoadMenu(int id) {
    return LoadMenuResource(id);
}

void QtTrayBackend::TrackPopupMenu(const PopupMenu& popup, int defaultPosition, QObject* owner) {
    QMenu menu;
    std::vector<std::pair<QAction*, int>> commands;
    for (const MenuItem& item : popup.items) {
        if (item.IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(item.text));
        commands.emplace_back(action, item.id);
    }
    const QList<QAction*> actions = menu.actions();
    if (defaultPosition >= 0 && defaultPosition < actions.size())
        menu.setDefaultAction(actions[defaultPosition]);

    QPointer<QObject> target = owner;
    QAction* chosen = menu.exec(QCursor::pos());
    if (chosen == nullptr || target.isNull())
        return;
    for (const auto& [action, id] : commands) {
        if (action == chosen)
            QCoreApplication::postEvent(target.data(), new CommandEvent(id));
    }
}

} // namespace qp
