#pragma once

#include <QEvent>

namespace qp {

// The icon's mouse events as the tray target sees them. Values follow the window messages they
// stand for, so the notification rules read the same on every platform.
namespace mouse {
inline constexpr int kLeftButtonUp = 0x202;
inline constexpr int kLeftButtonDoubleClick = 0x203;
inline constexpr int kRightButtonUp = 0x205;
inline constexpr int kMiddleButtonUp = 0x208;
} // namespace mouse

// A mouse event on the tray icon, delivered to the notification window with the event type the
// window asked for.
class TrayNotifyEvent final : public QEvent {
public:
    TrayNotifyEvent(int callbackMessage, int iconId, int mouseEvent)
        : QEvent(static_cast<QEvent::Type>(callbackMessage)), m_iconId(iconId),
          m_mouseEvent(mouseEvent) {}
    int IconId() const { return m_iconId; }
    int MouseEvent() const { return m_mouseEvent; }

private:
    int m_iconId;
    int m_mouseEvent;
};

// A menu command for a window, as a menu choice or a double click on the icon sends it.
class CommandEvent final : public QEvent {
public:
    explicit CommandEvent(int commandId);
    int CommandId() const { return m_commandId; }
    static QEvent::Type EventType();

private:
    int m_commandId;
};

// Sent to the top-level windows when a tray host has (re)appeared, so that icons are added again.
QEvent::Type TaskbarCreatedEventType();

} // namespace qp
