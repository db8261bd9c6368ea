#include "platform/DBusSignal.h"

namespace qp {

DBusSignal::DBusSignal(QDBusConnection bus, const QString& service, const QString& path,
                       const QString& interface, const QString& name, Heard heard)
    : m_bus(std::move(bus)), m_service(service), m_path(path), m_interface(interface), m_name(name),
      m_heard(std::move(heard)) {
    m_listening = m_bus.isConnected() && m_bus.connect(m_service, m_path, m_interface, m_name, this,
                                                       SLOT(Receive(QDBusMessage)));
}

DBusSignal::~DBusSignal() {
    if (m_listening)
        m_bus.disconnect(m_service, m_path, m_interface, m_name, this, SLOT(Receive(QDBusMessage)));
}

void DBusSignal::Receive(const QDBusMessage& message) {
    if (m_heard)
        m_heard(message);
}

} // namespace qp
