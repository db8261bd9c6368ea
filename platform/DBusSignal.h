#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <functional>

namespace qp {

// One signal of one service on a bus, handed whole to a callable on the thread that made this
// object. Only the current owner of `service` is heard, so another program on the bus cannot
// speak in its name. Nothing is heard once this object is destroyed.
class DBusSignal final : public QObject {
    Q_OBJECT
public:
    using Heard = std::function<void(const QDBusMessage&)>;

    DBusSignal(QDBusConnection bus, const QString& service, const QString& path,
               const QString& interface, const QString& name, Heard heard);
    ~DBusSignal() override;
    DBusSignal(const DBusSignal&) = delete;
    DBusSignal& operator=(const DBusSignal&) = delete;

    // False where the bus is not connected: nothing will be heard.
    bool Listening() const { return m_listening; }

private Q_SLOTS:
    void Receive(const QDBusMessage& message);

private:
    QDBusConnection m_bus;
    QString m_service, m_path, m_interface, m_name;
    Heard m_heard;
    bool m_listening = false;
};

} // namespace qp
