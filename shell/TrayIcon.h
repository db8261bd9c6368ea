#pragma once

#include "shell/SubclassWnd.h"
#include "shell/TrayBackend.h"

#include <string>

namespace qp {

// The client's icon in the notification area. It keeps the record the tray was last given, hooks
// the window that receives the icon's mouse events, and turns those events into menu commands.
class CTrayIcon {
public:
    // Sees the notification window's events before the window does.
    class CTrayHook final : public CSubclassWnd {
    public:
        explicit CTrayHook(CTrayIcon& owner) : m_owner(owner) {}

    protected:
        bool ProcessMessage(QEvent* event) override;

    private:
        CTrayIcon& m_owner;
    };

    // `id` names the icon to the tray and is the number of its menu; the tooltip starts as the
    // string resource of that number.
    CTrayIcon(int id, TrayBackend& backend);
    virtual ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // `window` receives the icon's mouse events as TrayNotifyEvents of type `callbackMessage`.
    void SetNotifyTarget(QObject* window, int callbackMessage);

    // Shows icon resource `id` with string resource `id` as tooltip; 0, or an icon that cannot be
    // loaded, removes the icon.
    bool SetIconById(int id);
    // Adds, changes or (with no icon) removes the icon; a tooltip, when given, replaces the
    // record's.
    bool SetIconHandle(IconHandle icon, const char* tooltip = nullptr);
    // Shows a desktop notification from the icon; false when the icon is not shown or the tray
    // refused.
    bool ShowBalloon(const std::string& title, const std::string& text);

    // A mouse event on the icon: a right button release opens the menu, a left double click runs
    // the menu's first command. Returns 1 when the event was ours.
    virtual long HandleNotification(int id, int mouseEvent);
    // The tray host is back: adds the icon again as it was.
    virtual long HandleTaskbarRestart();

    bool IsShown() const { return m_nid.icon != 0; }
    const NotifyIconData& Record() const { return m_nid; }

private:
    void SetTip(const std::string& text);
    void AddStandingFlags();

    TrayBackend& m_backend;
    NotifyIconData m_nid;
    CTrayHook m_notifyHook{*this};
    // Hooks the notification window's top-level parent when that is another object.
    CTrayHook m_parentHook{*this};
};

} // namespace qp
