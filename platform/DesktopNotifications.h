#pragma once

#include <QDBusConnection>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QObject;

namespace qp {

class DBusSignal;

// Notifications through the desktop's notification service (org.freedesktop.Notifications) on
// the session bus. Nothing here waits on the bus: each notification first asks the service what
// it can do, then raises itself, both as calls whose answers come back through the event loop of
// the thread that made this object.
class DesktopNotifications final {
public:
    // Who speaks, as the service shows it: the program's name, its icon's name in the icon theme
    // and its desktop entry's name without ".desktop".
    struct Sender {
        std::string appName;
        std::string icon;
        std::string desktopEntry;
    };

    // On the user's session bus, where one exists.
    explicit DesktopNotifications(Sender sender);
    // On `bus`, for a program that keeps a bus of its own.
    DesktopNotifications(Sender sender, QDBusConnection bus);
    ~DesktopNotifications();
    DesktopNotifications(const DesktopNotifications&) = delete;
    DesktopNotifications& operator=(const DesktopNotifications&) = delete;

    // Raises one notification; its title and body are plain text. `clicked` runs when the user
    // clicks it, where the service offers actions. `unseen` runs instead of showing anything, once,
    // where no service takes it: no bus, no service, a refusal or no answer within a few seconds.
    // Either runs on this object's thread, and neither after this object is gone.
    void Notify(const std::string& title, const std::string& body, std::function<void()> clicked,
                std::function<void()> unseen);

private:
    // `body` as the service is to read it.
    void Raise(const std::string& title, const QString& body, bool withActions,
               std::function<void()> clicked, std::function<void()> unseen);
    void Invoked(unsigned id, const QString& action);

    Sender m_sender;
    std::optional<QDBusConnection> m_bus;
    // Answers of the bus belong to it and end with this object.
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<DBusSignal> m_invoked;
    std::unique_ptr<DBusSignal> m_closed;
    // What a click on each raised notification still showing runs, by the service's id.
    std::map<unsigned, std::function<void()>> m_clicks;
};

} // namespace qp
