#include "shell/TrayIcon.h"

#include "platform/MessageBox.h"
#include "platform/Utf8Text.h"
#include "res/TrayMenu.h"
#include "shell/TrayEvents.h"

#include <QCoreApplication>

namespace qp {
namespace {

QObject* TopLevelParent(QObject* object) {
    while (object->parent() != nullptr)
        object = object->parent();
    return object;
}

// Cuts to at most `limit` bytes without splitting a UTF-8 sequence.
std::string Clip(const std::string& text, std::size_t limit) {
    return text.substr(0, CharacterStart(text, limit));
}

} // namespace

bool CTrayIcon::CTrayHook::ProcessMessage(QEvent* event) {
    const NotifyIconData& nid = m_owner.m_nid;
    auto* notify = dynamic_cast<TrayNotifyEvent*>(event);
    if (notify != nullptr && event->type() == nid.callbackMessage && HookedWindow() == nid.window) {
        m_owner.HandleNotification(notify->IconId(), notify->MouseEvent());
    } else if (event->type() == TaskbarCreatedEventType()) {
        m_owner.HandleTaskbarRestart();
    }
    // The window sees the event as well; what the handlers return does not matter to it.
    return CSubclassWnd::ProcessMessage(event);
}

CTrayIcon::CTrayIcon(int id, TrayBackend& backend) : m_backend(backend) {
    m_nid.id = id;
    SetTip(m_backend.LoadString(id));
}

CTrayIcon::~CTrayIcon() {
    SetIconById(0);
}

void CTrayIcon::SetTip(const std::string& text) {
    m_nid.tip = Clip(text, kTrayTipMax);
}

void CTrayIcon::SetNotifyTarget(QObject* window, int callbackMessage) {
    m_nid.window = window;
    m_nid.callbackMessage = callbackMessage;
    m_notifyHook.Hook(window);
    if (window != nullptr) {
        QObject* top = TopLevelParent(window);
        if (top != window)
            m_parentHook.Hook(top);
    }
}

bool CTrayIcon::SetIconById(int id) {
    IconHandle icon = 0;
    if (id != 0) {
        SetTip(m_backend.LoadString(id));
        icon = m_backend.LoadIcon(id);
    }
    return SetIconHandle(icon);
}

bool CTrayIcon::SetIconHandle(IconHandle icon, const char* tooltip) {
    m_nid.flags = 0;
    TrayAction action = TrayAction::Add;
    if (icon != 0) {
        action = IsShown() ? TrayAction::Modify : TrayAction::Add;
        m_nid.icon = icon;
        m_nid.flags |= kTrayFlagIcon;
    } else {
        if (!IsShown())
            return true;
        action = TrayAction::Delete;
    }
    if (tooltip != nullptr)
        SetTip(tooltip);
    AddStandingFlags();

    const bool ok = m_backend.NotifyIcon(action, m_nid);
    // A removed or refused icon is not shown: the next icon is added anew.
    if (action == TrayAction::Delete || !ok)
        m_nid.icon = 0;
    return ok;
}

void CTrayIcon::AddStandingFlags() {
    if (!m_nid.tip.empty())
        m_nid.flags |= kTrayFlagTip;
    if (m_nid.callbackMessage != 0 && m_nid.window != nullptr)
        m_nid.flags |= kTrayFlagMessage;
}

bool CTrayIcon::ShowBalloon(const std::string& title, const std::string& text) {
    if (!IsShown())
        return false;
    m_nid.flags = kTrayFlagIcon | kTrayFlagInfo;
    AddStandingFlags();
    m_nid.infoTitle = Clip(title, kTrayInfoTitleMax);
    m_nid.info = Clip(text, kTrayInfoMax);
    const bool ok = m_backend.NotifyIcon(TrayAction::Modify, m_nid);
    // A notification is shown once; later changes of the icon do not repeat it.
    m_nid.flags &= ~kTrayFlagInfo;
    m_nid.info.clear();
    m_nid.infoTitle.clear();
    return ok;
}

long CTrayIcon::HandleNotification(int id, int mouseEvent) {
    if (id != m_nid.id ||
        (mouseEvent != mouse::kRightButtonUp && mouseEvent != mouse::kLeftButtonDoubleClick))
        return 0;

    // The tray menu, whichever icon was clicked.
    const std::optional<Menu> menu = m_backend.LoadMenu(res::kMenuTray);
    if (!menu) {
        ShowMessage("Could not load menu");
        return 0;
    }
    if (menu->popups.empty())
        return 0;
    const PopupMenu& popup = menu->popups.front();

    if (mouseEvent == mouse::kRightButtonUp) {
        m_backend.TrackPopupMenu(popup, 0, m_nid.window);
    } else if (!popup.items.empty() && m_nid.window != nullptr) {
        CommandEvent command(popup.items.front().id);
        QCoreApplication::sendEvent(m_nid.window, &command);
    }
    return 1;
}

long CTrayIcon::HandleTaskbarRestart() {
    const IconHandle icon = m_nid.icon;
    m_nid.icon = 0;
    if (icon != 0)
        SetIconHandle(icon);
    return 0;
}

} // namespace qp
